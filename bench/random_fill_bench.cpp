// fill_random alone, in GB/s, against the plain one-output-a-step loop, for the chunk sizes a wipe
// uses; fills drawn in lanes go around the caches to memory, as a wipe's chunks do.
#include "random/Random.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The plain generator with its state kept in the caller's record, one output a step.
void fill_plain(RandomState& s, unsigned char* out, std::uint64_t length) {
  for (std::uint64_t i = 0; i + 4 <= length; i += 4) {
    const std::uint32_t t = s.x ^ (s.x << 11);
    s = RandomState{s.y, s.z, s.w, s.w ^ (s.w >> 19) ^ t ^ (t >> 8)};
    std::memcpy(out + i, &s.w, 4);
  }
}

template <typename F> double gb_per_s(std::uint64_t length, F fill) {
  std::vector<unsigned char> buffer(length);
  const std::uint64_t total = std::uint64_t(4) << 30;
  const std::uint64_t rounds = total / length;
  double best = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const auto start = Clock::now();
    for (std::uint64_t i = 0; i < rounds; ++i)
      fill(buffer.data(), length);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = rounds * length / seconds / 1e9;
    if (rate > best)
      best = rate;
  }
  return best;
}

} // namespace

int main() {
  std::printf(
      "fill_random alone, best of 3 over 4 GiB each, in GB/s: the plain loop with its state\n"
      "in a record, then each way of drawing that this processor runs (the last is used)\n");
  const std::vector<std::string> kinds = random_lane_kinds();
  std::printf("%-12s %12s", "bytes", "record");
  for (const std::string& kind : kinds)
    std::printf(" %12s", kind.c_str());
  std::printf(" %8s\n", "speedup");
  for (std::uint64_t length : {4096ull, 131072ull, 1048576ull, 33554432ull}) {
    RandomState plain = initial_random_state;
    const double record =
        gb_per_s(length, [&](unsigned char* out, std::uint64_t n) { fill_plain(plain, out, n); });
    std::printf("%-12llu %12.2f", static_cast<unsigned long long>(length), record);
    double first = 0, last = 0;
    for (const std::string& kind : kinds) {
      use_random_lanes(kind);
      last = gb_per_s(length, [](unsigned char* out, std::uint64_t n) { fill_random(out, n); });
      if (first == 0)
        first = last;
      std::printf(" %12.2f", last);
    }
    std::printf(" %8.2f\n", last / first);
  }
  std::printf("(speedup = the last way against the plain loop with its state in locals)\n");
  return 0;
}
