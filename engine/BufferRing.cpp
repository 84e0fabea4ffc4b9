#include "BufferRing.h"

#include "AlignedBuffer.h"

#include "Win32.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

// VirtualAlloc gives whole pages, on which every buffer starts.
static_assert(4096 % transfer_alignment == 0);

std::uint64_t stride_of(std::uint64_t bytes) {
  if (bytes > std::numeric_limits<std::uint64_t>::max() - transfer_alignment)
    throw std::bad_alloc();
  return std::max<std::uint64_t>((bytes + transfer_alignment - 1) / transfer_alignment, 1) *
         transfer_alignment;
}

// A block of `bytes` bytes in large pages: whole ones, which a block rounded up to them takes.
// Null when the system gives none (it gives none to a process without the right on Windows).
void* large_block(std::uint64_t bytes) {
  const SIZE_T large = GetLargePageMinimum();
  if (large == 0 || bytes > std::numeric_limits<SIZE_T>::max() - (large - 1))
    return nullptr;
  const SIZE_T rounded = (static_cast<SIZE_T>(bytes) + large - 1) / large * large;
  return VirtualAlloc(nullptr, rounded, MEM_COMMIT | MEM_RESERVE | MEM_LARGE_PAGES, PAGE_READWRITE);
}

} // namespace

BufferRing::BufferRing(std::uint64_t bytes, std::size_t count, Pages pages)
    : bytes_(bytes), stride(stride_of(bytes)), count(std::max<std::size_t>(count, 1)),
      first(nullptr) {
  if (stride > std::numeric_limits<SIZE_T>::max() / this->count)
    throw std::bad_alloc();
  const std::uint64_t total = stride * this->count;
  void* block = pages == Pages::Large ? large_block(total) : nullptr;
  if (block == nullptr)
    block = VirtualAlloc(nullptr, static_cast<SIZE_T>(total), MEM_COMMIT, PAGE_READWRITE);
  if (block == nullptr)
    throw std::bad_alloc();
  first = static_cast<unsigned char*>(block);
}

BufferRing::~BufferRing() { VirtualFree(first, 0, MEM_RELEASE); }
