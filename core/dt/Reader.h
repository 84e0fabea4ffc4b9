// Random-access byte readers. Every read names its absolute offset: there is no position.
#pragma once

#include <cstdint>

namespace dt {

class Reader {
public:
  virtual ~Reader() = default;

  // Reads exactly `length` bytes at `offset` into `buffer`. Returns false, with a debug-log line,
  // when fewer bytes could be read; what was read stays in the buffer.
  virtual bool read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) = 0;

  std::uint64_t size() const { return size_; }
  void set_size(std::uint64_t size) { size_ = size; }

private:
  std::uint64_t size_ = 0;
};

} // namespace dt
