#include "Random.h"

#include "XorshiftJump.h"

#include <bit>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

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
// and written through the reference at every step, the same loop runs several times slower.
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

// Eight lanes of the generator side by side, in two vectors of four. Lane j draws the j-th of
// eight equal parts of the fill, from a state jumped ahead to the start of its part; each round
// draws four outputs per lane, turns the four vectors around so that each lane's outputs lie
// side by side, and stores them into the lane's part.
using Vector = std::uint32_t __attribute__((vector_size(16)));
constexpr unsigned lanes = 8;

inline Vector shaped(Vector a) {
  const Vector t = a ^ (a << 11);
  return t ^ (t >> 8);
}

inline Vector mixed(Vector w) { return w ^ (w >> 19); }

inline void store_vector(unsigned char* out, Vector v) { std::memcpy(out, &v, sizeof v); }

// Four outputs in each of four lanes: o0 to o3 hold one output of each lane; the four lanes'
// outputs in order are stored at out[0], out[1], out[2] and out[3].
inline void store_turned(unsigned char* const out[4], std::uint64_t at, Vector o0, Vector o1,
                         Vector o2, Vector o3) {
  const Vector a = __builtin_shuffle(o0, o1, Vector{0, 4, 1, 5});
  const Vector b = __builtin_shuffle(o0, o1, Vector{2, 6, 3, 7});
  const Vector c = __builtin_shuffle(o2, o3, Vector{0, 4, 1, 5});
  const Vector d = __builtin_shuffle(o2, o3, Vector{2, 6, 3, 7});
  store_vector(out[0] + at, __builtin_shuffle(a, c, Vector{0, 1, 4, 5}));
  store_vector(out[1] + at, __builtin_shuffle(a, c, Vector{2, 3, 6, 7}));
  store_vector(out[2] + at, __builtin_shuffle(b, d, Vector{0, 1, 4, 5}));
  store_vector(out[3] + at, __builtin_shuffle(b, d, Vector{2, 3, 6, 7}));
}

// Draws `perLane` outputs (a multiple of 4) in each lane from the lanes' start states into the
// lanes' parts of `out`; returns the last lane's state at its end.
RandomState fill_lanes(const RandomState (&start)[lanes], unsigned char* out,
                       std::uint64_t perLane) {
  Vector x0, y0, z0, w0, x1, y1, z1, w1;
  for (unsigned j = 0; j < 4; ++j) {
    x0[j] = start[j].x;
    y0[j] = start[j].y;
    z0[j] = start[j].z;
    w0[j] = start[j].w;
    x1[j] = start[j + 4].x;
    y1[j] = start[j + 4].y;
    z1[j] = start[j + 4].z;
    w1[j] = start[j + 4].w;
  }
  const std::uint64_t part = perLane * 4;
  unsigned char* const first[4] = {out, out + part, out + 2 * part, out + 3 * part};
  unsigned char* const second[4] = {out + 4 * part, out + 5 * part, out + 6 * part, out + 7 * part};
  for (std::uint64_t at = 0; at < part; at += 16) {
    // Four steps of each lane; the shaped words do not depend on the step before, so only the
    // mix of the latest output stands in the chain from one step to the next.
    const Vector hx0 = shaped(x0), hy0 = shaped(y0), hz0 = shaped(z0), hw0 = shaped(w0);
    const Vector hx1 = shaped(x1), hy1 = shaped(y1), hz1 = shaped(z1), hw1 = shaped(w1);
    x0 = mixed(w0) ^ hx0;
    x1 = mixed(w1) ^ hx1;
    y0 = mixed(x0) ^ hy0;
    y1 = mixed(x1) ^ hy1;
    z0 = mixed(y0) ^ hz0;
    z1 = mixed(y1) ^ hz1;
    w0 = mixed(z0) ^ hw0;
    w1 = mixed(z1) ^ hw1;
    store_turned(first, at, x0, y0, z0, w0);
    store_turned(second, at, x1, y1, z1, w1);
  }
  return RandomState{x1[3], y1[3], z1[3], w1[3]};
}

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
  const std::uint64_t perLane = length / 4 / lanes / 4 * 4;
  const std::shared_ptr<const XorshiftJump> jump = jump_over(perLane);
  RandomState start[lanes];
  start[0] = state;
  for (unsigned j = 1; j < lanes; ++j)
    start[j] = jump->apply(start[j - 1]);
  state = fill_lanes(start, out, perLane);
  const std::uint64_t done = perLane * 4 * lanes;
  fill_scalar(state, out + done, length - done);
}
