// Random-access byte writers, the counterpart of dt::Reader: every write names its absolute
// offset; there is no position.
#pragma once

#include <cstdint>

namespace dt {

class Writer {
public:
  virtual ~Writer() = default;

  // Writes exactly `length` bytes of `data` at `offset`. Returns false, with a debug-log line
  // where the device has one, when fewer bytes could be written.
  virtual bool write_exact(std::uint64_t offset, const void* data, std::uint64_t length) = 0;
};

} // namespace dt
