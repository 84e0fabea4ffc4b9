// fill_random alone, in GB/s, against the plain one-output-a-step loop, for the chunk sizes a wipe
// uses; then the stores of long fills (around the caches or through them) measured where they
// matter, through a ring of buffers that a reader takes the chunks from.
//
//   random_fill_bench [--ring-only] [--seconds S]
//
// The refill of one reused buffer keeps it in the caches and says little about the stores: in a
// wipe every chunk goes into the next buffer of a ring, and something else reads it from there (the
// kernel copying it into a loop device's pages, a disk's controller fetching it). So the second
// table has a filler thread draw chunks into a ring sized as a wipe sizes it, while a reader thread
// copies each finished chunk into a file in memory at a moving place, as a loop device over a file
// in /dev/shm does; its figures are the GB/s through the ring and the processor seconds per GB of
// both threads together. Fills store through the caches unless told otherwise; this table is
// what tells.
#include "random/Random.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RingFigures {
  double rate = 0;     // GB/s through the ring
  double cpuPerGb = 0; // both threads
};

// A filler drawing `length`-byte chunks into a ring of `count` buffers for about `seconds`, and a
// reader writing each finished chunk into a memory file of 256 MiB, round and round.
RingFigures through_ring(std::uint64_t length, std::size_t count, double seconds) {
  constexpr std::uint64_t alignment = 4096;
  const std::uint64_t stride = (length + alignment - 1) / alignment * alignment;
  void* block = nullptr;
  if (posix_memalign(&block, alignment, stride * count) != 0)
    return {};
  std::unique_ptr<unsigned char, decltype(&std::free)> ring(static_cast<unsigned char*>(block),
                                                            &std::free);
  std::memset(ring.get(), 0, stride * count); // every page there before the clock starts
  const int file = memfd_create("random-fill-bench", 0);
  constexpr std::uint64_t fileBytes = std::uint64_t(256) << 20;
  if (file < 0 || ftruncate(file, static_cast<off_t>(fileBytes)) != 0)
    return {};
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t filled = 0, read = 0;
  std::atomic<bool> stop{false};
  std::uint64_t chunks = 0;
  const double cpuBefore = cpu_seconds();
  const auto start = Clock::now();
  std::thread reader([&] {
    std::uint64_t at = 0;
    for (std::uint64_t n = 0;; ++n) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return filled > n || stop.load(); });
        if (filled <= n)
          return;
      }
      const unsigned char* chunk = ring.get() + n % count * stride;
      if (at + length > fileBytes)
        at = 0;
      if (pwrite(file, chunk, length, static_cast<off_t>(at)) != static_cast<ssize_t>(length))
        std::abort();
      at += length;
      {
        std::lock_guard<std::mutex> lock(mutex);
        read = n + 1;
      }
      changed.notify_all();
    }
  });
  RandomState state = initial_random_state;
  for (std::uint64_t n = 0;; ++n) {
    if ((n & 15) == 0 && std::chrono::duration<double>(Clock::now() - start).count() >= seconds)
      break;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return filled - read < count; });
    }
    fill_random_from(state, ring.get() + n % count * stride, length);
    {
      std::lock_guard<std::mutex> lock(mutex);
      filled = n + 1;
    }
    changed.notify_all();
    chunks = n + 1;
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return read == filled; });
    stop.store(true);
  }
  changed.notify_all();
  reader.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = cpu_seconds() - cpuBefore;
  close(file);
  const double bytes = static_cast<double>(chunks) * static_cast<double>(length);
  return {bytes / elapsed / 1e9, cpu / (bytes / 1e9)};
}

} // namespace

int main(int argc, char** argv) {
  bool ringOnly = false;
  double seconds = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--ring-only")
      ringOnly = true;
    else if (arg == "--seconds" && i + 1 < argc)
      seconds = std::atof(argv[++i]);
  }
  const std::vector<std::string> kinds = random_lane_kinds();
  if (!ringOnly) {
    std::printf(
        "fill_random alone, best of 3 over 4 GiB each, in GB/s: the plain loop with its state\n"
        "in a record, then each way of drawing that this processor runs (the last is used)\n");
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
    std::printf("(speedup = the last way against the plain loop with its state in locals)\n\n");
  }

  // The rings of a wipe at 256, 2048 and 8192 sectors of 512 bytes: the chunks in flight (32, or
  // 32 MiB of them) and those drawn ahead (4 MiB of them, at least 2).
  struct RingSize {
    std::uint64_t length;
    std::size_t count;
  } rings[] = {{131072, 64}, {1048576, 36}, {4194304, 10}};
  use_random_lanes(kinds.back());
  std::printf("through a ring with a reader (%s lanes), %.1f s each, interleaved, best of 3:\n"
              "GB/s through the ring and CPU s/GB of filler and reader, per kind of store\n",
              kinds.back().c_str(), seconds / 3);
  std::printf("%-10s %6s %10s %10s %10s %10s %10s\n", "bytes", "ring", "streaming", "CPU s/GB",
              "cached", "CPU s/GB", "ratio");
  for (const RingSize& r : rings) {
    RingFigures best[2];
    for (int round = 0; round < 3; ++round) {
      for (int k = 0; k < 2; ++k) {
        use_random_stores(k == 0 ? RandomStores::Streaming : RandomStores::Cached);
        const RingFigures f = through_ring(r.length, r.count, seconds / 3);
        if (f.rate > best[k].rate)
          best[k] = f;
      }
    }
    std::printf("%-10llu %6zu %10.2f %10.3f %10.2f %10.3f %10.2f\n",
                static_cast<unsigned long long>(r.length), r.count, best[0].rate, best[0].cpuPerGb,
                best[1].rate, best[1].cpuPerGb, best[0].rate > 0 ? best[1].rate / best[0].rate : 0);
  }
  use_random_stores(RandomStores::Cached);
  std::printf("(ratio: cached against streaming; above 1, the stores through the caches are "
              "faster)\n");
  return 0;
}
