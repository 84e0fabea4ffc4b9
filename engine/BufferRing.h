// Buffers of one size for the chunks in flight and those drawn ahead, all in one block of memory
// that is allocated at once, so that it can be locked for the device once.
#pragma once

#include <cstddef>
#include <cstdint>

class BufferRing {
public:
  // The pages of the block. Large pages, where the system gives them, keep the memory of every
  // buffer in long runs however it is first touched, so that a device moves each buffer in a few
  // pieces; the system may take longer to make them.
  enum class Pages { Small, Large };

  // `count` buffers (at least one) of `bytes` bytes, each starting at transfer_alignment, in
  // `pages` (small pages where the system gives no large ones). Throws std::bad_alloc when the
  // memory cannot be had.
  BufferRing(std::uint64_t bytes, std::size_t count, Pages pages = Pages::Small);
  ~BufferRing();
  BufferRing(const BufferRing&) = delete;
  BufferRing& operator=(const BufferRing&) = delete;

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
  unsigned char* first;
};
