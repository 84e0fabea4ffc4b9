#include "DevicesInfoV1.h"

#include "DebugLog.h"
#include "DeviceHandle.h"
#include "DeviceMapping.h"
#include "DevicesInfo.h"
#include "Strings.h"
#include "Translation.h"
#include "Utils.h"

#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

const char physical_drive_prefix[] = "\\\\.\\PhysicalDrive";
// Drive numbers from 32 on are never examined.
constexpr int drive_paths = 32;

// While it lives, the system shows no critical-error box when a device is opened or queried;
// the mode before it comes back when it goes, also when an exception passes.
class ErrorModeGuard {
public:
  ErrorModeGuard() : previous(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~ErrorModeGuard() { SetErrorMode(previous); }
  ErrorModeGuard(const ErrorModeGuard&) = delete;
  ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

private:
  UINT previous;
};

// The owner of a volume walk.
class VolumeWalk {
public:
  VolumeWalk(char* name, DWORD length) : handle(FindFirstVolumeA(name, length)) {}
  ~VolumeWalk() {
    if (valid())
      FindVolumeClose(handle);
  }
  VolumeWalk(const VolumeWalk&) = delete;
  VolumeWalk& operator=(const VolumeWalk&) = delete;

  bool valid() const { return handle != INVALID_HANDLE_VALUE; }
  bool next(char* name, DWORD length) { return FindNextVolumeA(handle, name, length) != FALSE; }

private:
  HANDLE handle;
};

// The volume name that the walk lists, "\\?\Volume{GUID}\", is one the system can open.
bool is_volume_path(const std::string& name) {
  return name.size() > 4 && name.compare(0, 4, "\\\\?\\") == 0 && name.back() == '\\';
}

// "Comment": the file system name and the volume label, joined by " - " when both are there.
std::string volume_comment(const std::string& fileSystem, const std::string& label) {
  std::string comment = fileSystem;
  if (!label.empty()) {
    if (!comment.empty())
      comment += " - ";
    comment += label;
  }
  return comment;
}

// The system's own paths at which the volume `volumeName` is mounted, one per line; its drive
// letters are not among them. Empty when it is mounted at none, or the machine does not say.
std::string mount_points(const std::string& volumeName) {
  const std::string root = volumeName + "\\";
  std::string names(MAX_PATH, '\0');
  DWORD returned = 0;
  if (!GetVolumePathNamesForVolumeNameA(root.c_str(), names.data(),
                                        static_cast<DWORD>(names.size()), &returned)) {
    if (GetLastError() != ERROR_MORE_DATA || returned == 0)
      return std::string();
    names.assign(returned, '\0');
    if (!GetVolumePathNamesForVolumeNameA(root.c_str(), names.data(), returned, &returned))
      return std::string();
  }
  std::string points;
  for (const char* path = names.c_str(); *path != '\0'; path += std::strlen(path) + 1) {
    const std::string item = path;
    const bool letterRoot = item.size() == 3 && item[1] == ':' && item[2] == '\\';
    if (!letterRoot)
      points += (points.empty() ? "" : "\n") + item;
  }
  return points;
}

// Fills `properties` with the keys of one volume: "File", "Size", "Sector Size", "Parent",
// "Partition Offset" and, when there are, "Comment" and "Mount Points" (one per line); "File"
// becomes the short "\\.\X:" when the volume has exactly one drive letter. Returns false, with
// debug-log lines, when the volume cannot be opened or sized, or does not lie in one piece on one
// disk; the table is then not to be used.
bool get_volume_info(const std::string& volumeName, PropertyMap& properties,
                     const DeviceMapping& mapping) {
  debug_log() << "DevicesInfoV1.cpp(270): get_volume_info(" << volumeName << ")\n";
  if (!properties.set_string("File", volumeName, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfoV1.cpp(272)\n";
    return false;
  }
  const DeviceHandle volume(CreateFileA(volumeName.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!volume.valid()) {
    debug_log() << "DevicesInfoV1.cpp(283)\n";
    return false;
  }
  std::uint64_t size = 0;
  std::uint64_t sectorSize = 0;
  if (!get_disk_size(volume.get(), size, sectorSize)) {
    debug_log() << "DevicesInfoV1.cpp(290)\n";
    return false;
  }
  debug_log() << "DevicesInfoV1.cpp(293): Size: " << size << ", Sector Size: " << sectorSize
              << "\n";
  if (!properties.set_number("Size", size, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfoV1.cpp(295)\n";
    return false;
  }
  if (!properties.set_number("Sector Size", sectorSize, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfoV1.cpp(299)\n";
    return false;
  }

  // Room for exactly one extent: a volume over several disks ends here.
  VOLUME_DISK_EXTENTS extents;
  std::memset(&extents, 0, sizeof extents);
  DWORD returned = 0;
  if (!DeviceIoControl(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                       sizeof extents, &returned, nullptr)) {
    debug_log() << "DevicesInfoV1.cpp(312): IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS failed: "
                << last_error_text() << "\n";
    return false;
  }
  const DWORD count = extents.NumberOfDiskExtents;
  debug_log() << "DevicesInfoV1.cpp(315): NumberOfDiskExtents: " << count << "\n";
  const DWORD held = count < 1 ? count : 1;
  for (DWORD i = 0; i < held; ++i) {
    const DISK_EXTENT& extent = extents.Extents[i];
    debug_log() << "DevicesInfoV1.cpp(321): Extent " << i << "\n  DiskNumber: " << extent.DiskNumber
                << "\n  StartingOffset: " << extent.StartingOffset.QuadPart
                << "\n  ExtentLength: " << extent.ExtentLength.QuadPart << "\n";
  }
  if (count != 1) {
    debug_log() << "DevicesInfoV1.cpp(324)\n";
    return false;
  }
  const DISK_EXTENT& extent = extents.Extents[0];
  const std::string parent = physical_drive_prefix + std::to_string(extent.DiskNumber);
  debug_log() << "DevicesInfoV1.cpp(329): Parent: " << parent << "\n";
  if (!properties.set_string("Parent", parent, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfoV1.cpp(331)\n";
    return false;
  }
  if (!properties.set_string("Partition Offset", std::to_string(extent.StartingOffset.QuadPart),
                             PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfoV1.cpp(337)\n";
    return false;
  }

  char label[MAX_PATH + 1];
  char fileSystem[MAX_PATH + 1];
  DWORD componentLength = 0;
  DWORD fileSystemFlags = 0;
  const std::string root = volumeName + "\\";
  if (GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, &componentLength,
                            &fileSystemFlags, fileSystem, sizeof fileSystem)) {
    debug_log() << "DevicesInfoV1.cpp(352): VolumeNameBuffer: " << label
                << ", FileSystemNameBuffer: " << fileSystem << "\n";
    const std::string comment = volume_comment(fileSystem, label);
    if (!comment.empty()) {
      debug_log() << "DevicesInfoV1.cpp(361): Comment: " << comment << "\n";
      if (!properties.set_string("Comment", comment, PropertyMap::Existing::Keep)) {
        debug_log() << "DevicesInfoV1.cpp(363)\n";
        return false;
      }
    }
  } else {
    debug_log() << "DevicesInfoV1.cpp(369): GetVolumeInformation failed: " << last_error_text()
                << "\n";
  }

  const std::string points = mount_points(volumeName);
  if (!points.empty()) {
    debug_log() << "DevicesInfoV1.cpp(372): Mount Points: " << points << "\n";
    properties.set_string("Mount Points", points, PropertyMap::Existing::Replace);
  }

  const std::string letters = mapping.letters(volume.get());
  if (letters.size() == 1) {
    const std::string shortName = std::string("\\\\.\\") + letters[0] + ":";
    debug_log() << "DevicesInfoV1.cpp(377): shortVolumeName: " << shortName << "\n";
    properties.set_string("File", shortName, PropertyMap::Existing::Replace);
  }
  return true;
}

void get_drives(std::vector<PropertyMap>& devices, const DeviceMapping& mapping,
                std::vector<PropertyMap>* unopened) {
  debug_log() << "DevicesInfoV1.cpp(250): get_drives()\n";
  for (int n = 0; n < drive_paths; ++n) {
    const std::string path = physical_drive_prefix + std::to_string(n);
    debug_log() << "DevicesInfoV1.cpp(255): *** " << path << " ***\n";
    PropertyMap properties;
    SetLastError(ERROR_SUCCESS);
    bool read = false;
    try {
      read = get_device_info_win32(path, mapping, properties);
    } catch (const std::runtime_error&) {
      // The enumeration ends here; the caller hears which drive ended it.
      if (unopened != nullptr) {
        PropertyMap table;
        table.set_string("File", path, PropertyMap::Existing::Replace);
        table.set_string("System Name", drive_system_name(path), PropertyMap::Existing::Replace);
        table.set_string("Failure",
                         gettext("its storage descriptor cannot be read, and the drives after "
                                 "it are not looked at"),
                         PropertyMap::Existing::Replace);
        unopened->push_back(table);
      }
      throw;
    }
    if (read) {
      devices.push_back(properties);
      continue;
    }
    // A drive that opens and answers, but with no usable size (a card reader without a card),
    // leaves no error behind.
    const DWORD error = GetLastError();
    const std::string failure =
        error != ERROR_SUCCESS ? last_error_text() : std::string(gettext("it has no size"));
    debug_log() << "DevicesInfoV1.cpp(260): get_device_info_win32 failed: " << path << "\n";
    // A machine that does not name its drives tells a drive that is not there by the error:
    // its path leads nowhere, or the machine itself is not ready.
    const std::string name = drive_system_name(path);
    if (name.empty() && (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ||
                         error == ERROR_PATH_NOT_FOUND || error == ERROR_NOT_READY))
      continue;
    debug_log() << "DevicesInfoV1.cpp(264): " << path << (name.empty() ? "" : " ") << name
                << " is there and cannot be opened or sized: " << failure << "\n";
    if (unopened == nullptr)
      continue;
    PropertyMap table;
    table.set_string("File", path, PropertyMap::Existing::Replace);
    if (!name.empty())
      table.set_string("System Name", name, PropertyMap::Existing::Replace);
    table.set_string("Failure", failure, PropertyMap::Existing::Replace);
    unopened->push_back(table);
  }
}

void get_volumes(std::vector<PropertyMap>& devices, const DeviceMapping& mapping) {
  debug_log() << "DevicesInfoV1.cpp(386): get_volumes()\n";
  char name[MAX_PATH];
  VolumeWalk walk(name, sizeof name);
  if (!walk.valid()) {
    debug_log() << "DevicesInfoV1.cpp(390): FindFirstVolume failed\n";
    return;
  }
  do {
    const std::string listed = name;
    debug_log() << "DevicesInfoV1.cpp(394): *** " << listed << " ***\n";
    if (!is_volume_path(listed)) {
      debug_log() << "DevicesInfoV1.cpp(400): invalid volumePath: " << listed << "\n";
      continue;
    }
    const std::string volumeName = listed.substr(0, listed.size() - 1);
    PropertyMap properties;
    if (get_volume_info(volumeName, properties, mapping))
      devices.push_back(properties);
    else
      debug_log() << "DevicesInfoV1.cpp(407): get_volume_info failed: " << volumeName << "\n";
  } while (walk.next(name, sizeof name));
}

} // namespace

namespace dt {

void get_devices_info_win32_v1(std::vector<PropertyMap>& devices,
                               std::vector<PropertyMap>* unopened) {
  debug_log() << "DevicesInfoV1.cpp(419): dt::get_devices_info_win32_v1()\n";
  const ErrorModeGuard errorMode;
  const DeviceMapping mapping;
  get_drives(devices, mapping, unopened);
  get_volumes(devices, mapping);
}

} // namespace dt
