// Which disk and partition hold each drive letter, taken once when the table is built.
#pragma once

#include "Win32.h"

#include <cstdint>
#include <string>

class DeviceMapping {
public:
  // One drive letter and the device number of its volume.
  struct Entry {
    std::uint32_t deviceType = 0;
    std::uint32_t deviceNumber = 0;
    std::uint32_t partitionNumber = 0;
    char letter = 0; // upper case
  };

  // Enters every drive letter from C to Z that the system has and whose volume answers the
  // device-number query, in alphabetical order. A letter that cannot be opened or queried is
  // left out, with debug-log lines.
  DeviceMapping();

  // The letters that lie on the open device `device`: for a whole disk those of all its
  // volumes, for a volume its own; in alphabetical order. Empty, with debug-log lines, when
  // the device cannot be queried.
  std::string letters(HANDLE device) const;

  std::uint32_t size() const { return size_; }
  const Entry& entry(std::uint32_t index) const { return entries[index]; }

  // Asks the open device for its device type, number and partition number. Returns false,
  // with a debug-log line, when it cannot answer; `entry` is then untouched.
  static bool query_device_number(HANDLE device, Entry& entry);

private:
  Entry entries[26];
  std::uint32_t size_ = 0;
};
