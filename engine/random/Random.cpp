#include "Random.h"

#include "XorshiftJump.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

RandomState processState = initial_random_state;

inline void store_le(unsigned char* out, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &v, 4);
  } else {
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
  }
}

// The plain generator, four outputs a round. The state lives in locals for the whole fill: read
// and written through the reference at every step, the same loop runs markedly slower.
void fill_scalar(RandomState& state, unsigned char* out, std::uint64_t length) {
  std::uint32_t x = state.x, y = state.y, z = state.z, w = state.w;
  std::uint64_t i = 0;
  for (; i + 16 <= length; i += 16) {
    std::uint32_t t = x ^ (x << 11);
    x = w ^ (w >> 19) ^ t ^ (t >> 8);
    t = y ^ (y << 11);
    y = x ^ (x >> 19) ^ t ^ (t >> 8);
    t = z ^ (z << 11);
    z = y ^ (y >> 19) ^ t ^ (t >> 8);
    t = w ^ (w << 11);
    w = z ^ (z >> 19) ^ t ^ (t >> 8);
    store_le(out + i, x);
    store_le(out + i + 4, y);
    store_le(out + i + 8, z);
    store_le(out + i + 12, w);
  }
  for (; i < length; i += 4) {
    const std::uint32_t t = x ^ (x << 11);
    x = y;
    y = z;
    z = w;
    w = w ^ (w >> 19) ^ t ^ (t >> 8);
    if (i + 4 <= length) {
      store_le(out + i, w);
    } else {
      for (unsigned shift = 0; i < length; ++i, shift += 8)
        out[i] = static_cast<unsigned char>(w >> shift);
    }
  }
  state = RandomState{x, y, z, w};
}

// Lanes of the generator side by side, in vectors of four or eight words. Lane j draws the j-th
// of the equal parts of the fill, from a state jumped ahead to the start of its part. Each round
// draws four outputs per lane; four vectors of one output per lane are turned around, four lanes
// at a time, so that each lane's four outputs lie side by side, and are stored into the lane's
// part. With `Stream` the stores go around the caches to memory (see fill_random_from). The helpers
// are always inlined into the functions built for the wider vectors, so no vector ever crosses a
// call, whatever -Wpsabi says of the helpers (it speaks at the end of the file, where the templates
// are made, so it is silenced for the rest of this file).
using Vector4 = std::uint32_t __attribute__((vector_size(16)));
using Vector8 = std::uint32_t __attribute__((vector_size(32)));
constexpr unsigned most_lanes = 8;

#pragma GCC diagnostic ignored "-Wpsabi"

template <typename V> inline __attribute__((always_inline)) V shaped(V a) {
  const V t = a ^ (a << 11);
  return t ^ (t >> 8);
}

template <typename V> inline __attribute__((always_inline)) V mixed(V w) { return w ^ (w >> 19); }

// Stores the 16 bytes of `v` at `out`, which with `Stream` is 16-byte aligned.
template <bool Stream>
inline __attribute__((always_inline)) void store16(unsigned char* out, Vector4 v) {
#if defined(__x86_64__) || defined(__i386__)
  if constexpr (Stream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(out), reinterpret_cast<__m128i>(v));
    return;
  }
#endif
  std::memcpy(out, &v, 16);
}

// Turns o0 to o3 (one output of each lane) around and stores each lane's four outputs into its
// part, the parts `part` bytes apart from `out` on.
template <bool Stream>
inline __attribute__((always_inline)) void store_turned(unsigned char* out, std::uint64_t part,
                                                        Vector4 o0, Vector4 o1, Vector4 o2,
                                                        Vector4 o3) {
  const Vector4 a = __builtin_shufflevector(o0, o1, 0, 4, 1, 5);
  const Vector4 b = __builtin_shufflevector(o0, o1, 2, 6, 3, 7);
  const Vector4 c = __builtin_shufflevector(o2, o3, 0, 4, 1, 5);
  const Vector4 d = __builtin_shufflevector(o2, o3, 2, 6, 3, 7);
  const Vector4 r0 = __builtin_shufflevector(a, c, 0, 1, 4, 5);
  const Vector4 r1 = __builtin_shufflevector(a, c, 2, 3, 6, 7);
  const Vector4 r2 = __builtin_shufflevector(b, d, 0, 1, 4, 5);
  const Vector4 r3 = __builtin_shufflevector(b, d, 2, 3, 6, 7);
  store16<Stream>(out, r0);
  store16<Stream>(out + part, r1);
  store16<Stream>(out + 2 * part, r2);
  store16<Stream>(out + 3 * part, r3);
}

template <bool Stream>
inline __attribute__((always_inline)) void store_low(unsigned char* out, Vector8 row) {
  store16<Stream>(out, __builtin_shufflevector(row, row, 0, 1, 2, 3));
}

template <bool Stream>
inline __attribute__((always_inline)) void store_high(unsigned char* out, Vector8 row) {
  store16<Stream>(out, __builtin_shufflevector(row, row, 4, 5, 6, 7));
}

// The same for eight lanes, turned around within each half: the low half of each row holds a
// lane of the first four, the high half the lane four places further.
template <bool Stream>
inline __attribute__((always_inline)) void store_turned(unsigned char* out, std::uint64_t part,
                                                        Vector8 o0, Vector8 o1, Vector8 o2,
                                                        Vector8 o3) {
  const Vector8 a = __builtin_shufflevector(o0, o1, 0, 8, 1, 9, 4, 12, 5, 13);
  const Vector8 b = __builtin_shufflevector(o0, o1, 2, 10, 3, 11, 6, 14, 7, 15);
  const Vector8 c = __builtin_shufflevector(o2, o3, 0, 8, 1, 9, 4, 12, 5, 13);
  const Vector8 d = __builtin_shufflevector(o2, o3, 2, 10, 3, 11, 6, 14, 7, 15);
  const Vector8 r0 = __builtin_shufflevector(a, c, 0, 1, 8, 9, 4, 5, 12, 13);
  const Vector8 r1 = __builtin_shufflevector(a, c, 2, 3, 10, 11, 6, 7, 14, 15);
  const Vector8 r2 = __builtin_shufflevector(b, d, 0, 1, 8, 9, 4, 5, 12, 13);
  const Vector8 r3 = __builtin_shufflevector(b, d, 2, 3, 10, 11, 6, 7, 14, 15);
  store_low<Stream>(out, r0);
  store_low<Stream>(out + part, r1);
  store_low<Stream>(out + 2 * part, r2);
  store_low<Stream>(out + 3 * part, r3);
  store_high<Stream>(out + 4 * part, r0);
  store_high<Stream>(out + 5 * part, r1);
  store_high<Stream>(out + 6 * part, r2);
  store_high<Stream>(out + 7 * part, r3);
}

// Draws `perLane` outputs (a multiple of 4) in each of the G x N lanes from their start states
// into their parts of `out`; returns the last lane's state at its end.
template <typename V, unsigned N, unsigned G, bool Stream>
inline __attribute__((always_inline)) RandomState
fill_lanes(const RandomState* start, unsigned char* out, std::uint64_t perLane) {
  V x[G], y[G], z[G], w[G];
#pragma GCC unroll 4
  for (unsigned g = 0; g < G; ++g) {
    for (unsigned j = 0; j < N; ++j) {
      x[g][j] = start[g * N + j].x;
      y[g][j] = start[g * N + j].y;
      z[g][j] = start[g * N + j].z;
      w[g][j] = start[g * N + j].w;
    }
  }
  const std::uint64_t part = perLane * 4;
  for (std::uint64_t at = 0; at < part; at += 16) {
    // Four steps of each lane. Step by step they read
    //   x' = m(w) ^ s(x),  y' = m(x') ^ s(y),  z' = m(y') ^ s(z),  w' = m(z') ^ s(w)
    // with the mix m(v) = v ^ (v >> 19) and the shape s; m is linear and its own inverse
    // (m(m(v)) = v), so the chain from one output to the next shortens to
    //   y' = w ^ m(s(x)) ^ s(y),  z' = x' ^ m(s(y)) ^ s(z),  w' = y' ^ m(s(z)) ^ s(w).
#pragma GCC unroll 4
    for (unsigned g = 0; g < G; ++g) {
      const V hx = shaped(x[g]), hy = shaped(y[g]), hz = shaped(z[g]), hw = shaped(w[g]);
      const V nx = mixed(w[g]) ^ hx;
      const V ny = (w[g] ^ hy) ^ mixed(hx);
      x[g] = nx;
      y[g] = ny;
      z[g] = nx ^ (mixed(hy) ^ hz);
      w[g] = ny ^ (mixed(hz) ^ hw);
      store_turned<Stream>(out + g * N * part + at, part, x[g], y[g], z[g], w[g]);
    }
  }
  return RandomState{x[G - 1][N - 1], y[G - 1][N - 1], z[G - 1][N - 1], w[G - 1][N - 1]};
}

// Once streaming stores are done, they are ordered before every later store (the hand-over of
// the data to another thread or to the device among them).
inline void streamed() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_sfence();
#endif
}

// fill_lanes with stores that go around the caches or through them, as `stream` says; the
// streaming stores are ordered before whatever comes after.
template <typename V, unsigned N, unsigned G>
inline __attribute__((always_inline)) RandomState
fill_lanes_either(const RandomState* start, unsigned char* out, std::uint64_t perLane,
                  bool stream) {
  if (!stream)
    return fill_lanes<V, N, G, false>(start, out, perLane);
  const RandomState end = fill_lanes<V, N, G, true>(start, out, perLane);
  streamed();
  return end;
}

RandomState fill_lanes_vector(const RandomState* start, unsigned char* out, std::uint64_t perLane,
                              bool stream) {
  return fill_lanes_either<Vector4, 4, 2>(start, out, perLane, stream);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) RandomState
fill_lanes_avx2(const RandomState* start, unsigned char* out, std::uint64_t perLane, bool stream) {
  return fill_lanes_either<Vector8, 8, 1>(start, out, perLane, stream);
}

// The same lanes with the three-way exclusive or that AVX-512 adds.
__attribute__((target("avx512f,avx512vl"))) RandomState fill_lanes_avx512(const RandomState* start,
                                                                          unsigned char* out,
                                                                          std::uint64_t perLane,
                                                                          bool stream) {
  return fill_lanes_either<Vector8, 8, 1>(start, out, perLane, stream);
}
#endif

// A way to draw long fills; every one gives the same bytes.
struct LaneKind {
  const char* name;
  unsigned lanes; // 0: the plain loop
  RandomState (*fill)(const RandomState*, unsigned char*, std::uint64_t, bool);
  bool (*runs)();
};

bool always() { return true; }

// Widest last. The vectors of four words are SSE2 on x86-64, which every such processor has.
const LaneKind lane_kinds[] = {
    {"plain", 0, nullptr, always},
    {"vector", 8, fill_lanes_vector, always},
#if defined(__x86_64__) || defined(__i386__)
    {"avx2", 8, fill_lanes_avx2, [] { return bool(__builtin_cpu_supports("avx2")); }},
    {"avx512vl", 8, fill_lanes_avx512, [] { return bool(__builtin_cpu_supports("avx512vl")); }},
#endif
};

const LaneKind* widest_lanes() {
  const LaneKind* widest = &lane_kinds[0];
  for (const LaneKind& kind : lane_kinds)
    if (kind.runs())
      widest = &kind;
  return widest;
}

std::atomic<const LaneKind*> chosenLanes{nullptr};

const LaneKind& lanes_in_use() {
  const LaneKind* kind = chosenLanes.load(std::memory_order_relaxed);
  if (kind == nullptr) {
    kind = widest_lanes();
    chosenLanes.store(kind, std::memory_order_relaxed);
  }
  return *kind;
}

std::atomic<RandomStores> chosenStores{RandomStores::Cached};

// Below this many bytes the lanes' start-up (jumps, turning) costs more than it saves.
constexpr std::uint64_t lane_threshold = 16384;

// The jump over one lane's part, for the few part sizes in use: a wipe fills chunks of one size,
// and a shorter last one. Shared by every thread that fills.
std::shared_ptr<const XorshiftJump> jump_over(std::uint64_t steps) {
  static std::mutex lock;
  static std::shared_ptr<const XorshiftJump> recent[4];
  static unsigned next = 0;
  {
    const std::lock_guard<std::mutex> guard(lock);
    for (const auto& jump : recent)
      if (jump && jump->steps() == steps)
        return jump;
  }
  auto made = std::make_shared<const XorshiftJump>(steps);
  const std::lock_guard<std::mutex> guard(lock);
  recent[next] = made;
  next = (next + 1) % 4;
  return made;
}

} // namespace

std::vector<std::string> random_lane_kinds() {
  std::vector<std::string> names;
  for (const LaneKind& kind : lane_kinds)
    if (kind.runs())
      names.push_back(kind.name);
  return names;
}

bool use_random_lanes(const std::string& name) {
  for (const LaneKind& kind : lane_kinds) {
    if (name == kind.name && kind.runs()) {
      chosenLanes.store(&kind, std::memory_order_relaxed);
      return true;
    }
  }
  return false;
}

void use_random_stores(RandomStores stores) {
  chosenStores.store(stores, std::memory_order_relaxed);
}

void seed_random() { processState.x ^= static_cast<std::uint32_t>(std::time(nullptr)); }

void fill_random(void* buffer, std::uint64_t length) {
  fill_random_from(processState, buffer, length);
}

RandomState random_state() { return processState; }

void set_random_state(const RandomState& state) { processState = state; }

void fill_random_from(RandomState& state, void* buffer, std::uint64_t length) {
  auto* out = static_cast<unsigned char*>(buffer);
  if (std::endian::native != std::endian::little || length < lane_threshold) {
    fill_scalar(state, out, length);
    return;
  }
  const LaneKind& lanes = lanes_in_use();
  if (lanes.lanes == 0) {
    fill_scalar(state, out, length);
    return;
  }
  std::uint64_t perLane = length / 4 / lanes.lanes / 4 * 4;
  // Parts a multiple of 4 KiB long would put every lane's stores into the same few cache sets;
  // a little shorter, they spread, and the plain loop draws the rest.
  if (perLane * 4 % 4096 == 0)
    perLane -= 4;
  const std::shared_ptr<const XorshiftJump> jump = jump_over(perLane);
  RandomState start[most_lanes];
  start[0] = state;
  for (unsigned j = 1; j < lanes.lanes; ++j)
    start[j] = jump->apply(start[j - 1]);
  // A long fill is data for the device, which reads it soon after: the kernel copying it into a
  // loop device's pages, or the controller fetching it, which takes it from the caches when it
  // is still there. Measured through a ring of buffers with a reader, stores that go around the
  // caches were no faster on an idle machine, cost more processor time, and were up to half as
  // fast on a busy one; so fills store through the caches, unless the benchmark asks otherwise
  // (streaming wherever each lane's part starts on a 16-byte boundary; the parts are multiples
  // of 16 bytes long).
  const bool stream = chosenStores.load(std::memory_order_relaxed) == RandomStores::Streaming &&
                      reinterpret_cast<std::uintptr_t>(out) % 16 == 0;
  state = lanes.fill(start, out, perLane, stream);
  const std::uint64_t done = perLane * 4 * lanes.lanes;
  fill_scalar(state, out + done, length - done);
}
