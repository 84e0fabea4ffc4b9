// Buffers of one size for the chunks in flight, handed out in turn: a buffer of the caller's
// first, then buffers of the same size that are allocated when they are first handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class BufferRing {
public:
  // `count` buffers of `bytes` bytes, the first being `first`; the others start at
  // transfer_alignment.
  BufferRing(unsigned char* first, std::uint64_t bytes, std::size_t count);

  std::size_t size() const { return buffers.size(); }
  // The buffer `index` (modulo the count). Throws std::bad_alloc when it cannot be had.
  unsigned char* at(std::size_t index);
  // The buffer after the one handed out last.
  unsigned char* next() { return at(turn++); }

private:
  std::uint64_t bytes;
  std::vector<unsigned char*> buffers;
  std::vector<std::unique_ptr<unsigned char[]>> allocations;
  std::size_t turn = 0;
};
