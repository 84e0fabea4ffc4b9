// The bytes of the storage descriptor that IOCTL_STORAGE_QUERY_PROPERTY returns.
#pragma once

#include "Win32.h"

#include <string>

namespace platform {

struct DriveIdentity {
  std::string vendor;
  std::string product;
  std::string revision;
  std::string serial;
  bool removable = false;
  std::int32_t busType = BusTypeUnknown;
};

// A STORAGE_DEVICE_DESCRIPTOR for a direct-access device followed by its four texts, each
// ended by a NUL; an empty text is left out and its offset is 0. Size counts every byte.
std::string build_storage_descriptor(const DriveIdentity& identity);

// The serial number as many ATA disks report it: hexadecimal digits that spell 16-bit words
// with the two bytes of each word swapped ("AB" becomes "4241"), a blank appended to an odd
// length. A serial with characters other than letters, digits, blanks and hyphens is returned
// as it is.
std::string serial_as_swapped_hex(const std::string& serial);

} // namespace platform
