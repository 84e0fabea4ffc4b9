#include "BufferRing.h"

#include "AlignedBuffer.h"

#include <algorithm>

BufferRing::BufferRing(unsigned char* first, std::uint64_t bytes, std::size_t count)
    : bytes(bytes), buffers(std::max<std::size_t>(count, 1), nullptr), allocations(buffers.size()) {
  buffers[0] = first;
}

unsigned char* BufferRing::at(std::size_t index) {
  index %= buffers.size();
  if (buffers[index] == nullptr)
    buffers[index] = allocate_aligned(allocations[index], bytes, transfer_alignment);
  return buffers[index];
}
