// The engine's random data: Marsaglia's xorshift128 generator, one state for the whole process.
//
// Filling is fast and still bit for bit the plain generator's sequence: a long fill is cut into
// parts, each drawn by its own lane from a state jumped ahead to where its part begins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The generator's state: its last four outputs, oldest first (w is the latest).
struct RandomState {
  std::uint32_t x;
  std::uint32_t y;
  std::uint32_t z;
  std::uint32_t w;

  friend bool operator==(const RandomState&, const RandomState&) = default;
};

// The published example state the process starts from.
constexpr RandomState initial_random_state{123456789, 362436069, 521288629, 88675123};

// Mixes the current time (whole seconds) into the generator's first word; called once at start.
void seed_random();

// Fills `length` bytes with the process generator's next outputs, each stored lowest byte first;
// a cut last output still advances the generator. Main thread only.
void fill_random(void* buffer, std::uint64_t length);

// The process generator's state, for a filler that draws ahead of use and hands back the state
// that the bytes it delivers leave. Main thread only.
RandomState random_state();
void set_random_state(const RandomState& state);

// Fills `length` bytes from `state` exactly as fill_random does from the process state, and
// leaves `state` where that fill leaves it. Safe on any thread, each with its own state. Throws
// std::bad_alloc only when the jump tables of a long fill cannot be had.
void fill_random_from(RandomState& state, void* buffer, std::uint64_t length);

// The ways of drawing long fills that this processor runs, narrowest first: "plain" (one output
// a step), "vector" (lanes in vectors of four words), and where the processor has them "avx2" and
// "avx512vl". All give the same bytes. Fills use the last one unless use_random_lanes chose
// another (for tests and benchmarks); it returns false, and changes nothing, for a name that is
// not in the list.
std::vector<std::string> random_lane_kinds();
bool use_random_lanes(const std::string& name);

// How long fills store their data: through the caches (Cached, what fills do unless told
// otherwise), or around them wherever the buffer lies on a 16-byte boundary (Streaming). Both
// give the same bytes; the choice is for the benchmark that compares them.
enum class RandomStores { Cached, Streaming };
void use_random_stores(RandomStores stores);

// The number of outputs a fill of `length` bytes draws: one per output begun.
constexpr std::uint64_t random_outputs(std::uint64_t length) {
  return length / 4 + (length % 4 != 0);
}
