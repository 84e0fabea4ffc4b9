#include "Random.h"

#include <ctime>

namespace {

// The published example state of the generator.
std::uint32_t x = 123456789;
std::uint32_t y = 362436069;
std::uint32_t z = 521288629;
std::uint32_t w = 88675123;

inline std::uint32_t next() {
  const std::uint32_t t = x ^ (x << 11);
  x = y;
  y = z;
  z = w;
  w = w ^ (w >> 19) ^ t ^ (t >> 8);
  return w;
}

} // namespace

void seed_random() { x ^= static_cast<std::uint32_t>(std::time(nullptr)); }

void fill_random(void* buffer, std::uint64_t length) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::uint64_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const std::uint32_t v = next();
    out[i] = static_cast<unsigned char>(v);
    out[i + 1] = static_cast<unsigned char>(v >> 8);
    out[i + 2] = static_cast<unsigned char>(v >> 16);
    out[i + 3] = static_cast<unsigned char>(v >> 24);
  }
  if (i < length) {
    const std::uint32_t v = next();
    for (unsigned shift = 0; i < length; ++i, shift += 8)
      out[i] = static_cast<unsigned char>(v >> shift);
  }
}
