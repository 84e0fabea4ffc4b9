#include "DeviceMapping.h"

#include "DebugLog.h"

#include <ostream>

DeviceMapping::DeviceMapping() {
  const DWORD mask = GetLogicalDrives();
  // A and B are floppy letters: asking them could wait for a medium.
  for (int position = 2; position < 26; ++position) {
    if ((mask & (1u << position)) == 0)
      continue;
    const char letter = static_cast<char>('A' + position);
    const std::string path = std::string("\\\\.\\") + letter + ":";
    HANDLE volume =
        CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool entered = false;
    if (volume == INVALID_HANDLE_VALUE) {
      debug_log() << "DeviceMapping.cpp(52)\n";
    } else {
      Entry found;
      if (query_device_number(volume, found)) {
        found.letter = letter;
        entries[size_++] = found;
        entered = true;
      } else {
        debug_log() << "DeviceMapping.cpp(57)\n";
      }
      CloseHandle(volume);
    }
    if (!entered)
      debug_log() << "DeviceMapping.cpp(16): " << path << "\n";
  }
}

std::string DeviceMapping::letters(HANDLE device) const {
  Entry wanted;
  if (!query_device_number(device, wanted)) {
    debug_log() << "DeviceMapping.cpp(30)\n";
    return std::string();
  }
  std::string result;
  for (std::uint32_t i = 0; i < size_; ++i) {
    const Entry& entry = entries[i];
    if (entry.deviceType == wanted.deviceType && entry.deviceNumber == wanted.deviceNumber &&
        (wanted.partitionNumber == 0 || entry.partitionNumber == wanted.partitionNumber))
      result += entry.letter;
  }
  return result;
}

bool DeviceMapping::query_device_number(HANDLE device, Entry& entry) {
  STORAGE_DEVICE_NUMBER number;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                       &returned, nullptr)) {
    debug_log() << "DeviceMapping.cpp(71)\n";
    return false;
  }
  entry.deviceType = number.DeviceType;
  entry.deviceNumber = number.DeviceNumber;
  entry.partitionNumber = number.PartitionNumber;
  return true;
}
