// Transfer buffers whose data starts at an aligned address, as unbuffered device access needs.
#pragma once

#include <cstdint>
#include <memory>

// Where the engine's transfer buffers start: a page boundary, a multiple of every sector size,
// as the uncached transfers of a raw device need, so that they go from and to the buffers
// without a copy.
constexpr std::uint64_t transfer_alignment = 4096;

// Replaces `allocation` with one that holds `size` bytes from its first multiple of `alignment`,
// and returns that address. Throws std::bad_alloc when the memory cannot be had (also when the
// size with its spare bytes does not fit in a size_t).
unsigned char* allocate_aligned(std::unique_ptr<unsigned char[]>& allocation, std::uint64_t size,
                                std::uint64_t alignment = 512);
