// What a disk tells of itself in answer to the storage property query: model, serial number,
// product revision, whether its medium is removable, and the name of its bus.
#pragma once

#include <cstdint>
#include <string>

class StorageDeviceDescriptor {
public:
  // Reads the STORAGE_DEVICE_DESCRIPTOR at the start of the `length` bytes of `buffer` and
  // the texts its offsets point to, logging every field, a hex dump of the record and each
  // text. Throws std::runtime_error, whose text is the bare source position, when the record
  // breaks its bounds: `length` below the fixed part, below the record's Size or below the
  // end of its raw properties, or a text offset that lies before the raw properties' end or
  // at or past `length`, or a text without a NUL before `length`.
  StorageDeviceDescriptor(const void* buffer, std::uint32_t length);

  const std::string& model() const { return model_; }
  const std::string& serial() const { return serial_; }
  const std::string& revision() const { return revision_; }
  bool removable() const { return removable_; }
  const std::string& bus_type() const { return busType_; }

private:
  std::string model_;
  std::string serial_;
  std::string revision_;
  bool removable_ = false;
  std::string busType_;
};
