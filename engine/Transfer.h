// Checks of the sizes and sector numbers that clients send, made before anything is allocated
// or transferred, in 64 bits and without wrapping.
#pragma once

#include <cstdint>
#include <optional>

// The bytes of `count` sectors of `sectorSize` bytes when they are at most `limit`; none when
// they are more, also when the product does not fit in 64 bits.
std::optional<std::uint64_t> transfer_bytes(std::uint64_t count, std::uint64_t sectorSize,
                                            std::uint64_t limit);

// Whether the `count` sectors from `lba` have byte offsets a device can be asked for: the end
// of the run, in bytes, fits in a signed 64-bit offset.
bool addressable(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorSize);
