#include "AlignedBuffer.h"

#include <limits>
#include <new>

unsigned char* allocate_aligned(std::unique_ptr<unsigned char[]>& allocation, std::uint64_t size,
                                std::uint64_t alignment) {
  allocation.reset();
  if (alignment == 0)
    alignment = 1;
  if (size > std::numeric_limits<std::size_t>::max() - (alignment - 1))
    throw std::bad_alloc();
  allocation.reset(new unsigned char[static_cast<std::size_t>(size + alignment - 1)]);
  const auto address = reinterpret_cast<std::uintptr_t>(allocation.get());
  const std::uintptr_t offset = (alignment - address % alignment) % alignment;
  return allocation.get() + offset;
}
