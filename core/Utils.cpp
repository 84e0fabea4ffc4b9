#include "Utils.h"

#include "DebugLog.h"
#include "Strings.h"

#include <ostream>

bool get_disk_size(HANDLE device, std::uint64_t& size, std::uint64_t& sectorSize) {
  DISK_GEOMETRY geometry;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                       sizeof geometry, &returned, nullptr)) {
    debug_log() << "Utils.cpp(24): " << last_error_text() << "\n";
    return false;
  }
  std::uint64_t bytes = 0;
  PARTITION_INFORMATION partition;
  if (DeviceIoControl(device, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &partition,
                      sizeof partition, &returned, nullptr)) {
    bytes = static_cast<std::uint64_t>(partition.PartitionLength.QuadPart);
  } else {
    debug_log() << "Utils.cpp(41): " << last_error_text() << "\n";
    PARTITION_INFORMATION_EX partitionEx;
    if (DeviceIoControl(device, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &partitionEx,
                        sizeof partitionEx, &returned, nullptr)) {
      bytes = static_cast<std::uint64_t>(partitionEx.PartitionLength.QuadPart);
    } else {
      debug_log() << "Utils.cpp(54): " << last_error_text() << "\n";
      bytes = static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
              geometry.SectorsPerTrack * geometry.BytesPerSector;
    }
  }
  size = bytes;
  sectorSize = geometry.BytesPerSector;
  if (size == 0 || sectorSize == 0 || size % sectorSize != 0) {
    debug_log() << "Utils.cpp(64): " << size << " " << sectorSize << "\n";
    return false;
  }
  return true;
}

bool dismount_volume(HANDLE volume) {
  DWORD returned = 0;
  if (!DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    debug_log() << "Utils.cpp(104): " << last_error_text() << "\n";
    return false;
  }
  return true;
}

bool dismount_volume(const std::string& path) {
  HANDLE volume =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (volume == INVALID_HANDLE_VALUE) {
    debug_log() << "Utils.cpp(80): " << path << " " << last_error_text() << "\n";
    return false;
  }
  const bool dismounted = dismount_volume(volume);
  if (!dismounted)
    debug_log() << "Utils.cpp(84): " << path << "\n";
  CloseHandle(volume);
  return dismounted;
}
