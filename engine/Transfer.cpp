#include "Transfer.h"

#include <limits>

std::optional<std::uint64_t> transfer_bytes(std::uint64_t count, std::uint64_t sectorSize,
                                            std::uint64_t limit) {
  if (sectorSize != 0 && count > limit / sectorSize)
    return std::nullopt;
  return count * sectorSize;
}

bool addressable(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorSize) {
  const auto reach = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (count > std::numeric_limits<std::uint64_t>::max() - lba)
    return false;
  return sectorSize == 0 || lba + count <= reach / sectorSize;
}
