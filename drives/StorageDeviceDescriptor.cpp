#include "StorageDeviceDescriptor.h"

#include "DebugLog.h"
#include "HexDigit.h"
#include "Strings.h"

#include <ostream>
#include <stdexcept>

namespace {

// The fixed part of the record with one raw property byte, and where the raw properties start.
constexpr std::uint32_t fixed_size = 40;
constexpr std::uint64_t raw_properties_offset = 36;

std::uint32_t read_u32(const unsigned char* bytes, std::uint32_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The NUL-terminated text at `offset` of the `length` bytes of `bytes`; empty for the offsets
// 0 and 0xFFFFFFFF, by which a device says it has no such text. Throws std::runtime_error
// when the text starts before `minOffset` (inside the record) or at or past `length`, or has
// no NUL before `length`.
std::string descriptor_string(const unsigned char* bytes, std::uint32_t offset,
                              std::uint64_t minOffset, std::uint32_t length) {
  if (offset == 0 || offset == 0xFFFFFFFFu)
    return std::string();
  if (offset < minOffset)
    throw std::runtime_error("StorageDeviceDescriptor.cpp(23)");
  if (offset >= length)
    throw std::runtime_error("StorageDeviceDescriptor.cpp(27)");
  for (std::uint32_t end = offset; end < length; ++end) {
    if (bytes[end] == 0)
      return std::string(reinterpret_cast<const char*>(bytes) + offset, end - offset);
  }
  throw std::runtime_error("StorageDeviceDescriptor.cpp(27)");
}

// 0 to 15 for a hexadecimal digit of either case; -1, with a debug-log line, for anything else.
int serial_digit_value(char c) {
  const int value = hex_digit_value(c);
  if (value < 0)
    debug_log() << "StorageDeviceDescriptor.cpp(42): "
                << static_cast<int>(static_cast<signed char>(c)) << "\n";
  return value;
}

// The character that two hexadecimal digits spell, when it is one that serial numbers are made
// of (a blank, a hyphen, a digit or a letter); -1, with a debug-log line, otherwise.
int hex_pair_char(char high, char low) {
  const int h = serial_digit_value(high);
  if (h < 0)
    return -1;
  const int l = serial_digit_value(low);
  if (l < 0)
    return -1;
  const int v = h * 16 + l;
  if (v == ' ' || v == '-' || (v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z') ||
      (v >= 'a' && v <= 'z'))
    return v;
  debug_log() << "StorageDeviceDescriptor.cpp(60): " << v << "\n";
  return -1;
}

// Many ATA disks give their serial number as hexadecimal digits that spell 16-bit words with
// the two bytes of each word swapped. Replaces `serial` by what it spells when, and only when,
// the whole text has that form; otherwise leaves it as it is.
void decode_serial(std::string& serial) {
  std::string decoded;
  for (std::size_t at = 0;; at += 4) {
    const std::size_t rest = serial.size() - at;
    if (rest == 0) {
      serial = decoded;
      debug_log() << "StorageDeviceDescriptor.cpp(156): serialNumber: \"" << serial << "\"\n";
      return;
    }
    if (rest < 4) {
      debug_log() << "StorageDeviceDescriptor.cpp(87)\n";
      return;
    }
    const int first = hex_pair_char(serial[at + 2], serial[at + 3]);
    if (first < 0)
      return;
    decoded += static_cast<char>(first);
    const int second = hex_pair_char(serial[at], serial[at + 1]);
    if (second < 0)
      return;
    decoded += static_cast<char>(second);
  }
}

const char* bus_type_name(std::int32_t busType) {
  static const char* const names[] = {"SCSI", "ATAPI", "ATA", "1394", "SSA", "FIBRE", "USB",
                                      "RAID", "ISCSI", "SAS", "SATA", "SD",  "MMC"};
  if (busType < 1 || busType > 13)
    return nullptr;
  return names[busType - 1];
}

} // namespace

StorageDeviceDescriptor::StorageDeviceDescriptor(const void* buffer, std::uint32_t length) {
  if (length < fixed_size)
    throw std::runtime_error("StorageDeviceDescriptor.cpp(111)");
  const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
  const std::uint32_t version = read_u32(bytes, 0);
  const std::uint32_t size = read_u32(bytes, 4);
  const unsigned deviceType = bytes[8];
  const unsigned deviceTypeModifier = bytes[9];
  const unsigned removableMedia = bytes[10];
  const unsigned commandQueueing = bytes[11];
  const std::uint32_t vendorIdOffset = read_u32(bytes, 12);
  const std::uint32_t productIdOffset = read_u32(bytes, 16);
  const std::uint32_t productRevisionOffset = read_u32(bytes, 20);
  const std::uint32_t serialNumberOffset = read_u32(bytes, 24);
  const std::int32_t busType = static_cast<std::int32_t>(read_u32(bytes, 28));
  const std::uint32_t rawPropertiesLength = read_u32(bytes, 32);
  debug_log() << "StorageDeviceDescriptor.cpp(126): STORAGE_DEVICE_DESCRIPTOR"
              << "\n  Version: " << version << "\n  Size: " << size
              << "\n  DeviceType: " << deviceType
              << "\n  DeviceTypeModifier: " << deviceTypeModifier
              << "\n  RemovableMedia: " << removableMedia
              << "\n  CommandQueueing: " << commandQueueing
              << "\n  VendorIdOffset: " << vendorIdOffset
              << "\n  ProductIdOffset: " << productIdOffset
              << "\n  ProductRevisionOffset: " << productRevisionOffset
              << "\n  SerialNumberOffset: " << serialNumberOffset << "\n  BusType: " << busType
              << "\n  RawPropertiesLength: " << rawPropertiesLength << "\n";
  if (length < size)
    throw std::runtime_error("StorageDeviceDescriptor.cpp(127)");
  debug_log() << "StorageDeviceDescriptor.cpp(134): STORAGE_DEVICE_DESCRIPTOR hex dump\n";
  hex_dump(debug_log(), bytes, size);
  const std::uint64_t minOffset = rawPropertiesLength + raw_properties_offset;
  if (length < minOffset)
    throw std::runtime_error("StorageDeviceDescriptor.cpp(138)");

  const std::string vendorId = descriptor_string(bytes, vendorIdOffset, minOffset, length);
  debug_log() << "StorageDeviceDescriptor.cpp(142): vendorId: \"" << vendorId << "\"\n";
  const std::string productId = descriptor_string(bytes, productIdOffset, minOffset, length);
  debug_log() << "StorageDeviceDescriptor.cpp(145): productId: \"" << productId << "\"\n";
  std::string productRevision = descriptor_string(bytes, productRevisionOffset, minOffset, length);
  debug_log() << "StorageDeviceDescriptor.cpp(148): productRevision: \"" << productRevision
              << "\"\n";
  std::string serialNumber = descriptor_string(bytes, serialNumberOffset, minOffset, length);
  debug_log() << "StorageDeviceDescriptor.cpp(151): serialNumber: \"" << serialNumber << "\"\n";
  decode_serial(serialNumber);

  std::string joined = vendorId + productId;
  model_ = trim(joined, " \t");
  serial_ = trim(serialNumber, " \t");
  revision_ = trim(productRevision, " \t");

  removable_ = removableMedia == 1;
  debug_log() << "StorageDeviceDescriptor.cpp(163): removable: " << (removable_ ? "1" : "0")
              << "\n";
  if (const char* name = bus_type_name(busType))
    busType_ = name;
  else
    debug_log() << "StorageDeviceDescriptor.cpp(206): " << busType << "\n";
  debug_log() << "StorageDeviceDescriptor.cpp(208): bus: " << busType_ << "\n";
}
