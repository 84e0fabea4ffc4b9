#include "BufferRing.h"

#include "AlignedBuffer.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

std::uint64_t stride_of(std::uint64_t bytes) {
  if (bytes > std::numeric_limits<std::uint64_t>::max() - transfer_alignment)
    throw std::bad_alloc();
  return std::max<std::uint64_t>((bytes + transfer_alignment - 1) / transfer_alignment, 1) *
         transfer_alignment;
}

} // namespace

BufferRing::BufferRing(std::uint64_t bytes, std::size_t count)
    : bytes_(bytes), stride(stride_of(bytes)), count(std::max<std::size_t>(count, 1)),
      first(nullptr) {
  if (stride > std::numeric_limits<std::uint64_t>::max() / this->count)
    throw std::bad_alloc();
  first = allocate_aligned(allocation, stride * this->count, transfer_alignment);
}
