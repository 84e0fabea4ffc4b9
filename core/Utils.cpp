#include "Utils.h"

#include "DebugLog.h"
#include "Strings.h"

#include <cstdio>
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

bool get_device_identity(HANDLE device, std::string& identity) {
  STORAGE_DEVICE_NUMBER_EX number;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER_EX, nullptr, 0, &number,
                       sizeof number, &returned, nullptr)) {
    debug_log() << "Utils.cpp(72): " << last_error_text() << "\n";
    return false;
  }
  const GUID& guid = number.DeviceGuid;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  identity = text;
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
