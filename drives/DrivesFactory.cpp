#include "DrivesFactory.h"

#include "DebugLog.h"
#include "DevicesInfoV1.h"
#include "Format.h"
#include "ProgramConfig.h"
#include "Strings.h"
#include "Win32.h"

#include <glib.h>
#include <libintl.h>

#include <algorithm>
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

// N of "\\.\PhysicalDriveN"; 0 for any other path.
std::uint64_t drive_number(const std::string& path) {
  return path.compare(0, physical_drive_prefix_length, physical_drive_prefix) == 0
             ? read_unsigned(path.substr(physical_drive_prefix_length))
             : 0;
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

// The lines of `text`, without empty ones.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    if (end > at)
      result.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return result;
}

Drive::StandIn stand_in(const PropertyMap& device, const std::string& key) {
  Drive::StandIn standIn;
  const std::string& kind = device.get(key + " Kind");
  standIn.kind = kind == "backing file" ? Drive::StandIn::Kind::BackingFile
                 : kind == "driver"     ? Drive::StandIn::Kind::Driver
                 : kind == "identifier" ? Drive::StandIn::Kind::Identifier
                                        : Drive::StandIn::Kind::None;
  if (standIn.kind != Drive::StandIn::Kind::None)
    standIn.text = device.get(key);
  return standIn;
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
    Partition partition;
    if (is_short_volume_name(file))
      partition.set_letter(file.substr(4, 2));
    partition.set_mount_points(lines(volume.get("Mount Points")));
    // The letter and the system's own mount points side by side: "(Drive D: /media/stick)".
    std::string where;
    if (!partition.letter().empty())
      where = format(gettext("Drive %1"), partition.letter());
    for (const std::string& point : partition.mount_points())
      where += (where.empty() ? "" : " ") + point;
    std::string name = format_size(size);
    if (!where.empty())
      name += " (" + where + ")";
    const std::string& comment = volume.get("Comment");
    if (!comment.empty())
      name += " " + comment;
    partition.set_name(name);
    partition.set_start(offset / sectorSize);
    partition.set_sectors(size / sectorSize);
    partitions.push_back(partition);
  }
  return partitions;
}

class SystemDrivesFactory : public DrivesFactory {
public:
  std::vector<Drive> create() override { return scan().drives; }

  DriveScan scan() override {
    std::vector<PropertyMap> devices;
    std::vector<PropertyMap> unopened;
    DriveScan found;
    try {
      dt::get_devices_info_win32_v1(devices, &unopened);
    } catch (const std::runtime_error& error) {
      // A drive whose storage descriptor breaks its bounds ends the enumeration. Without a
      // list the desktop program could not even start while such a drive is attached, so the
      // drives found before it are listed, and that drive, those after it and the volumes
      // are not.
      debug_log() << "DrivesFactory.cpp(41): enumeration ended: " << error.what() << "\n";
    }
    for (const PropertyMap& table : unopened)
      found.unlisted.push_back({table.get("File"), table.get("System Name"), table.get("Failure")});
    found.drives = drives_from_devices(devices, &found.unlisted);
    // In drive-number order, as the drives are.
    std::stable_sort(found.unlisted.begin(), found.unlisted.end(),
                     [](const UnlistedDrive& a, const UnlistedDrive& b) {
                       return drive_number(a.id) < drive_number(b.id);
                     });
    return found;
  }
};

} // namespace

DrivesFactory& system_drives_factory() {
  static SystemDrivesFactory factory;
  return factory;
}

bool drive_from_device(const PropertyMap& device, Drive& drive, std::string* why) {
  const std::string& file = device.get("File");
  const std::uint64_t sectorSize = read_unsigned(device.get("Sector Size"));
  if (sectorSize != 512 && sectorSize != 4096) {
    debug_log() << "DrivesFactory.cpp(113): " << file << ", sectorSize: " << sectorSize << "\n";
    if (why != nullptr)
      *why = format(gettext("sectors of %1 bytes, where only 512 and 4096 can be wiped"),
                    std::to_string(sectorSize));
    return false;
  }
  const std::uint64_t size = read_unsigned(device.get("Size"));
  if (size < sectorSize || size % sectorSize != 0) {
    debug_log() << "DrivesFactory.cpp(118): " << file << ", size: " << size << "\n";
    if (why != nullptr)
      *why = format(gettext("a size of %1 bytes, which is no whole number of sectors"),
                    std::to_string(size));
    return false;
  }
  drive.set_id(file);
  drive.set_sectors(size / sectorSize);
  drive.set_sector_size(sectorSize);
  drive.set_model(clean_text(device.get("Model")));
  drive.set_serial(clean_text(device.get("Serial")));
  drive.set_identity(device.get("Identity"));
  drive.set_system_name(device.get("System Name"));
  drive.set_model_stand_in(stand_in(device, "Model Stand-In"));
  drive.set_serial_stand_in(stand_in(device, "Serial Stand-In"));
  return true;
}

std::vector<Drive> drives_from_devices(const std::vector<PropertyMap>& devices,
                                       std::vector<UnlistedDrive>* unlisted) {
  const WarningLetters letters = warning_letters();
  std::vector<Drive> drives;
  for (const PropertyMap& device : devices) {
    const std::string& file = device.get("File");
    if (file.compare(0, physical_drive_prefix_length, physical_drive_prefix) != 0)
      continue;
    Drive drive;
    std::string why;
    if (!drive_from_device(device, drive, &why)) {
      if (unlisted != nullptr)
        unlisted->push_back({file, device.get("System Name"), why});
      continue;
    }
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
