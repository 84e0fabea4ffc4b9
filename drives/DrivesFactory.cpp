#include "DrivesFactory.h"

#include "DebugLog.h"
#include "DevicesInfoV1.h"
#include "Format.h"
#include "ProgramConfig.h"
#include "Strings.h"
#include "Win32.h"

#include <glib.h>
#include <libintl.h>

#include <cstdlib>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace {

const char physical_drive_prefix[] = "\\\\.\\PhysicalDrive";
constexpr std::size_t physical_drive_prefix_length = sizeof physical_drive_prefix - 1;

// No drive's letters contain it.
constexpr char no_letter = '*';

// The number at the start of `text` (after white space); 0 when there is none or it does not
// fit 64 bits.
std::uint64_t read_unsigned(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && g_ascii_isspace(text[at]))
    ++at;
  std::uint64_t value = 0;
  for (; at < text.size() && g_ascii_isdigit(text[at]); ++at) {
    const unsigned digit = static_cast<unsigned>(text[at] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
      return 0;
    value = value * 10 + digit;
  }
  return value;
}

// The upper-case drive letter of a path that starts with one ("C:", "d:\Tools"); no_letter
// for anything else.
char path_letter(const std::string& path) {
  if (path.size() >= 2 && g_ascii_isalpha(path[0]) && path[1] == ':')
    return g_ascii_toupper(path[0]);
  return no_letter;
}

// The drive letter of the folder `path`: its own, or that of the volume that the system says
// holds it (on a system whose paths carry no letters). no_letter when it has none, such as a
// network share.
char folder_letter(const std::string& path) {
  const char letter = path_letter(path);
  if (letter != no_letter || path.empty())
    return letter;
  char root[MAX_PATH];
  if (!GetVolumePathNameA(path.c_str(), root, sizeof root))
    return no_letter;
  return path_letter(root);
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : std::string();
}

// The four letters whose drives carry a warning, in the order the warnings are tried.
struct WarningLetters {
  char system = no_letter;
  char programFiles = no_letter;
  char applicationData = no_letter;
  char program = no_letter;
};

WarningLetters warning_letters() {
  WarningLetters letters;
  const std::string systemDrive = environment("SYSTEMDRIVE");
  debug_log() << "DrivesFactory.cpp(47): SYSTEMDRIVE: " << systemDrive << "\n";
  letters.system = folder_letter(systemDrive);
  const std::string programFiles = environment("PROGRAMFILES");
  debug_log() << "DrivesFactory.cpp(50): PROGRAMFILES: " << programFiles << "\n";
  letters.programFiles = folder_letter(programFiles);
  const std::string applicationData = environment("APPDATA");
  debug_log() << "DrivesFactory.cpp(53): APPDATA: " << applicationData << "\n";
  letters.applicationData = folder_letter(applicationData);
  const std::string programPath = program_config().get_string("Program Path");
  debug_log() << "DrivesFactory.cpp(56): Program Path: " << programPath << "\n";
  letters.program = folder_letter(programPath);
  return letters;
}

bool has_letter(const std::string& letters, char letter) {
  return letters.find(letter) != std::string::npos;
}

std::string warning_for(const std::string& driveLetters, const WarningLetters& letters) {
  if (has_letter(driveLetters, letters.system))
    return gettext("System Drive");
  if (has_letter(driveLetters, letters.programFiles))
    return gettext("\"Program Files\" Drive");
  if (has_letter(driveLetters, letters.applicationData))
    return gettext("\"Application Data\" Drive");
  if (has_letter(driveLetters, letters.program))
    return format(gettext("\"%1\" Drive"), program_config().get_string("Program Name"));
  return std::string();
}

// The short name that a volume with exactly one drive letter has: "\\.\X:".
bool is_short_volume_name(const std::string& file) {
  return file.size() == 6 && file.compare(0, 4, "\\\\.\\") == 0 && file[5] == ':';
}

// The volumes whose tables name `drive` as their parent, in table order.
std::vector<Partition> partitions_of(const Drive& drive, const std::vector<PropertyMap>& devices) {
  std::vector<Partition> partitions;
  const std::uint64_t sectorSize = drive.sector_size();
  for (const PropertyMap& volume : devices) {
    if (volume.get("Parent") != drive.id())
      continue;
    const std::string& file = volume.get("File");
    const std::uint64_t size = read_unsigned(volume.get("Size"));
    if (size % sectorSize != 0) {
      debug_log() << "DrivesFactory.cpp(138): " << file << ", size: " << size << "\n";
      continue;
    }
    const std::uint64_t offset = read_unsigned(volume.get("Partition Offset"));
    if (offset % sectorSize != 0) {
      debug_log() << "DrivesFactory.cpp(143): " << file << ", offset: " << offset << "\n";
      continue;
    }
    std::string name = format_size(size);
    if (is_short_volume_name(file))
      name += " (" + format(gettext("Drive %1"), file.substr(4, 2)) + ")";
    const std::string& comment = volume.get("Comment");
    if (!comment.empty())
      name += " " + comment;
    Partition partition;
    partition.set_name(name);
    partition.set_start(offset / sectorSize);
    partition.set_sectors(size / sectorSize);
    partitions.push_back(partition);
  }
  return partitions;
}

class SystemDrivesFactory : public DrivesFactory {
public:
  std::vector<Drive> create() override {
    std::vector<PropertyMap> devices;
    try {
      dt::get_devices_info_win32_v1(devices);
    } catch (const std::runtime_error& error) {
      // A drive whose storage descriptor breaks its bounds ends the enumeration. Without a
      // list the desktop program could not even start while such a drive is attached, so the
      // drives found before it are listed, and that drive, those after it and the volumes
      // are not.
      debug_log() << "DrivesFactory.cpp(41): enumeration ended: " << error.what() << "\n";
    }
    return drives_from_devices(devices);
  }
};

} // namespace

DrivesFactory& system_drives_factory() {
  static SystemDrivesFactory factory;
  return factory;
}

bool drive_from_device(const PropertyMap& device, Drive& drive) {
  const std::string& file = device.get("File");
  const std::uint64_t sectorSize = read_unsigned(device.get("Sector Size"));
  if (sectorSize != 512 && sectorSize != 4096) {
    debug_log() << "DrivesFactory.cpp(113): " << file << ", sectorSize: " << sectorSize << "\n";
    return false;
  }
  const std::uint64_t size = read_unsigned(device.get("Size"));
  if (size < sectorSize || size % sectorSize != 0) {
    debug_log() << "DrivesFactory.cpp(118): " << file << ", size: " << size << "\n";
    return false;
  }
  drive.set_id(file);
  drive.set_sectors(size / sectorSize);
  drive.set_sector_size(sectorSize);
  drive.set_model(clean_text(device.get("Model")));
  drive.set_serial(clean_text(device.get("Serial")));
  return true;
}

std::vector<Drive> drives_from_devices(const std::vector<PropertyMap>& devices) {
  const WarningLetters letters = warning_letters();
  std::vector<Drive> drives;
  for (const PropertyMap& device : devices) {
    const std::string& file = device.get("File");
    if (file.compare(0, physical_drive_prefix_length, physical_drive_prefix) != 0)
      continue;
    Drive drive;
    if (!drive_from_device(device, drive))
      continue;
    drive.set_warning(warning_for(device.get("Drive Letters"), letters));
    drive.set_partitions(partitions_of(drive, devices));
    drives.push_back(drive);
  }
  return drives;
}

std::string clean_text(const std::string& text) {
  std::string cleaned = text;
  for (char& c : cleaned) {
    if (!g_ascii_isprint(c))
      c = '.';
  }
  return trim(cleaned, " \t");
}
