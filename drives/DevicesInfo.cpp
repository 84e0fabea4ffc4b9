#include "DevicesInfo.h"

#include "DebugLog.h"
#include "DeviceHandle.h"
#include "StorageDeviceDescriptor.h"
#include "Strings.h"
#include "Utils.h"

#include <cstring>
#include <ostream>

namespace {

// The storage query's answer goes into a buffer of this size, filled beforehand with this
// byte, so that what the device did not write can be told apart.
constexpr DWORD descriptor_buffer_size = 1024;
constexpr unsigned char unwritten = 0xA5;

} // namespace

bool get_storage_properties(HANDLE device, PropertyMap& properties) {
  std::uint64_t size = 0;
  std::uint64_t sectorSize = 0;
  if (!get_disk_size(device, size, sectorSize)) {
    debug_log() << "DevicesInfo.cpp(47)\n";
    return false;
  }
  debug_log() << "DevicesInfo.cpp(50): Size: " << size << ", Sector Size: " << sectorSize << "\n";
  if (!properties.set_number("Size", size, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfo.cpp(52)\n";
    return false;
  }
  if (!properties.set_number("Sector Size", sectorSize, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfo.cpp(56)\n";
    return false;
  }

  unsigned char buffer[descriptor_buffer_size];
  std::memset(buffer, unwritten, sizeof buffer);
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                       sizeof buffer, &returned, nullptr)) {
    debug_log() << "DevicesInfo.cpp(74)\n";
    return true;
  }
  // The whole buffer, whatever count the device gave: the bounds checks see the filler.
  const StorageDeviceDescriptor descriptor(buffer, sizeof buffer);
  if (!properties.set_string("Model", descriptor.model(), PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(79)\n";
  if (!properties.set_string("Revision", descriptor.revision(), PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(82)\n";
  if (!properties.set_string("Serial", descriptor.serial(), PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(85)\n";
  if (!properties.set_number("Removable Media", descriptor.removable() ? 1 : 0,
                             PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(88)\n";
  if (!properties.set_string("Bus Type", descriptor.bus_type(), PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(91)\n";
  return true;
}

bool get_device_info_win32(const std::string& path, const DeviceMapping& mapping,
                           PropertyMap& properties) {
  if (!properties.set_string("File", path, PropertyMap::Existing::Keep)) {
    debug_log() << "DevicesInfo.cpp(100)\n";
    return false;
  }
  const DeviceHandle device(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device.valid()) {
    debug_log() << "DevicesInfo.cpp(112)\n";
    return false;
  }
  if (!get_storage_properties(device.get(), properties)) {
    debug_log() << "DevicesInfo.cpp(117)\n";
    return false;
  }
  const std::string letters = mapping.letters(device.get());
  debug_log() << "DevicesInfo.cpp(120): Drive Letters: " << letters << "\n";
  if (!properties.set_string("Drive Letters", letters, PropertyMap::Existing::Keep))
    debug_log() << "DevicesInfo.cpp(122)\n";
  get_identity_property(device.get(), properties);
  get_system_properties(device.get(), path, properties);
  return true;
}

bool get_identity_property(HANDLE device, PropertyMap& properties) {
  std::string identity;
  if (!get_device_identity(device, identity)) {
    debug_log() << "DevicesInfo.cpp(130)\n";
    return false;
  }
  properties.set_string("Identity", identity, PropertyMap::Existing::Replace);
  return true;
}

std::string drive_system_name(const std::string& path) {
  // The DOS device name is the path without its "\\.\".
  if (path.size() <= 4)
    return std::string();
  char names[MAX_PATH + 1];
  if (QueryDosDeviceA(path.c_str() + 4, names, sizeof names) == 0)
    return std::string();
  return names;
}

void get_system_properties(HANDLE device, const std::string& path, PropertyMap& properties) {
  const std::string name = drive_system_name(path);
  if (!name.empty()) {
    debug_log() << "DevicesInfo.cpp(140): System Name: " << name << "\n";
    properties.set_string("System Name", name, PropertyMap::Existing::Replace);
  }
  DISK_STAND_INS standIns;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_DISK_STAND_INS, nullptr, 0, &standIns, sizeof standIns,
                       &returned, nullptr)) {
    debug_log() << "DevicesInfo.cpp(147): " << last_error_text() << "\n";
    return;
  }
  const struct {
    const DISK_STAND_IN& found;
    const char* key;
  } fields[] = {{standIns.Model, "Model Stand-In"}, {standIns.Serial, "Serial Stand-In"}};
  for (const auto& field : fields) {
    const char* kind = field.found.Kind == StandInBackingFile  ? "backing file"
                       : field.found.Kind == StandInDriver     ? "driver"
                       : field.found.Kind == StandInIdentifier ? "identifier"
                                                               : nullptr;
    const std::string text(field.found.Text, strnlen(field.found.Text, sizeof field.found.Text));
    if (kind == nullptr || text.empty())
      continue;
    debug_log() << "DevicesInfo.cpp(160): " << field.key << ": " << kind << " " << text << "\n";
    properties.set_string(field.key, text, PropertyMap::Existing::Replace);
    properties.set_string(std::string(field.key) + " Kind", kind, PropertyMap::Existing::Replace);
  }
}
