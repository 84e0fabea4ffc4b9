#include "StorageDescriptor.h"

#include <cstring>

namespace platform {

namespace {

DWORD append_text(std::string& bytes, const std::string& text) {
  if (text.empty())
    return 0;
  const DWORD offset = static_cast<DWORD>(bytes.size());
  bytes += text;
  bytes += '\0';
  return offset;
}

} // namespace

std::string build_storage_descriptor(const DriveIdentity& identity) {
  STORAGE_DEVICE_DESCRIPTOR record;
  std::memset(&record, 0, sizeof record);
  std::string bytes(sizeof record, '\0');
  record.Version = sizeof record;
  record.DeviceType = 0; // a direct-access block device
  record.RemovableMedia = identity.removable ? 1 : 0;
  record.VendorIdOffset = append_text(bytes, identity.vendor);
  record.ProductIdOffset = append_text(bytes, identity.product);
  record.ProductRevisionOffset = append_text(bytes, identity.revision);
  record.SerialNumberOffset = append_text(bytes, identity.serial);
  record.BusType = static_cast<STORAGE_BUS_TYPE>(identity.busType);
  record.RawPropertiesLength = 0;
  record.Size = static_cast<DWORD>(bytes.size());
  std::memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

std::string serial_as_swapped_hex(const std::string& serial) {
  for (char c : serial) {
    const bool carried = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                         (c >= 'a' && c <= 'z') || c == ' ' || c == '-';
    if (!carried)
      return serial;
  }
  std::string padded = serial;
  if (padded.size() % 2 != 0)
    padded += ' ';
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < padded.size(); i += 2) {
    for (unsigned char c :
         {static_cast<unsigned char>(padded[i + 1]), static_cast<unsigned char>(padded[i])}) {
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
  }
  return hex;
}

} // namespace platform
