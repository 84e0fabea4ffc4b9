#include "Pattern.h"

#include <algorithm>
#include <cstring>

void fill_pattern(void* buffer, std::uint64_t length, const void* pattern,
                  std::uint64_t patternLength) {
  auto* out = static_cast<unsigned char*>(buffer);
  if (patternLength == 0) {
    std::memset(out, 0, length);
    return;
  }
  std::uint64_t done = std::min(length, patternLength);
  std::memcpy(out, pattern, done);
  // Each copy doubles what is laid already, so a sector takes a handful of calls.
  while (done < length) {
    const std::uint64_t piece = std::min(done, length - done);
    std::memcpy(out + done, out, piece);
    done += piece;
  }
}

void fill_pattern_sectors(std::uint64_t count, void* buffer, std::uint64_t sectorSize,
                          const void* pattern, std::uint64_t patternLength) {
  if (count == 0)
    return;
  auto* out = static_cast<unsigned char*>(buffer);
  fill_pattern(out, sectorSize, pattern, patternLength);
  for (std::uint64_t i = 1; i < count; ++i)
    std::memcpy(out + i * sectorSize, out, sectorSize);
}

std::string pattern_first_byte(const std::string& pattern) {
  return std::string(1, pattern.empty() ? '\0' : pattern[0]);
}

std::string pattern_complement(std::string pattern) {
  for (char& c : pattern)
    c = static_cast<char>(~static_cast<unsigned char>(c));
  return pattern;
}
