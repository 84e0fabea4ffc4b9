// Buffers of one size for the chunks in flight and those drawn ahead, all in one block of memory
// that is allocated at once, so that it can be locked for the device once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class BufferRing {
public:
  // `count` buffers (at least one) of `bytes` bytes, each starting at transfer_alignment.
  // Throws std::bad_alloc when the memory cannot be had.
  BufferRing(std::uint64_t bytes, std::size_t count);

  std::size_t size() const { return count; }
  std::uint64_t bytes() const { return bytes_; }
  // The buffer `index` (modulo the count).
  unsigned char* at(std::size_t index) const { return first + index % count * stride; }
  // The block that holds every buffer.
  unsigned char* block() const { return first; }
  std::uint64_t block_bytes() const { return stride * count; }

private:
  std::uint64_t bytes_;
  std::uint64_t stride; // from one buffer to the next: the size rounded up to the alignment
  std::size_t count;
  std::unique_ptr<unsigned char[]> allocation;
  unsigned char* first;
};
