// The generator must be Marsaglia's xorshift128 from its published example state, and every fill,
// however it is cut into lanes, must give exactly the plain generator's sequence. Each test runs
// in a process of its own, so the process state is fresh.
#include "random/Random.h"
#include "random/XorshiftJump.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::uint32_t word(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t(bytes[3]) << 24;
}

// The generator as published, one output at a time.
struct Reference {
  RandomState s = initial_random_state;
  std::uint32_t next() {
    const std::uint32_t t = s.x ^ (s.x << 11);
    s = RandomState{s.y, s.z, s.w, s.w ^ (s.w >> 19) ^ t ^ (t >> 8)};
    return s.w;
  }
  // A fill as the engine defines it: lowest byte first, a cut last output still drawn.
  std::vector<unsigned char> fill(std::uint64_t length) {
    std::vector<unsigned char> out(length);
    for (std::uint64_t i = 0; i < length; i += 4) {
      const std::uint32_t v = next();
      for (std::uint64_t k = 0; k < 4 && i + k < length; ++k)
        out[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    return out;
  }
};

// Where two fills first differ, for a readable failure.
std::string first_difference(const std::vector<unsigned char>& actual,
                             const std::vector<unsigned char>& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (actual[i] != expected[i])
      return "byte " + std::to_string(i) + " (output " + std::to_string(i / 4) + ")";
  return "";
}

TEST(Random, PublishedFirstOutputsLowestByteFirst) {
  const std::uint32_t published[] = {3701687786u, 458299110u,  2500872618u, 3633119408u,
                                     516391518u,  2377269574u, 2599949379u, 717229868u};
  // 6 bytes: the first output and the two lowest bytes of the second, which is used up.
  unsigned char six[6];
  fill_random(six, sizeof six);
  EXPECT_EQ(published[0], word(six));
  EXPECT_EQ(published[1] & 0xffff, std::uint32_t(six[4] | six[5] << 8));
  // The next call goes on with the third output, and so on across calls.
  std::vector<unsigned char> rest(24);
  fill_random(rest.data(), rest.size());
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(published[2 + i], word(&rest[4 * i])) << "output " << 3 + i;
}

// Fills of many lengths one after the other, as a wipe's chunks are: short ones drawn plainly,
// long ones in lanes, lengths that leave a tail after the lanes, cut outputs, and part sizes
// around every boundary of the lanes. Together they must be one unbroken stream, drawn in each
// kind of lanes this processor runs, into buffers on a 16-byte boundary (which long fills write
// around the caches) and off it (which they write through them).
TEST(Random, FillsOfAnyLengthContinueThePlainSequence) {
  std::vector<std::uint64_t> lengths = {
      0,     1,     2,     3,     4,     5,     15,    16,     17,     31,     32,
      33,    127,   128,   129,   16383, 16384, 16385, 16386,  16387,  16400,  16511,
      16512, 16513, 32768, 32769, 65535, 65536, 65537, 131072, 131071, 131136, 1048576 + 7};
  std::mt19937_64 pick(20240601);
  for (int i = 0; i < 40; ++i)
    lengths.push_back(pick() % 300000);
  const std::vector<std::string> kinds = random_lane_kinds();
  ASSERT_GE(kinds.size(), 2u) << "the plain loop and the portable vectors run everywhere";
  for (const std::string& kind : kinds) {
    ASSERT_TRUE(use_random_lanes(kind));
    for (std::size_t offset : {0, 4}) {
      SCOPED_TRACE(kind + " at offset " + std::to_string(offset));
      Reference reference;
      RandomState state = initial_random_state;
      for (std::uint64_t length : lengths) {
        std::vector<unsigned char> storage(length + 8 + 32, 0xA5);
        const auto base = reinterpret_cast<std::uintptr_t>(storage.data());
        unsigned char* actual = storage.data() + (16 - base % 16) % 16 + offset;
        fill_random_from(state, actual, length);
        const std::vector<unsigned char> expected = reference.fill(length);
        for (int k = 0; k < 8; ++k)
          ASSERT_EQ(0xA5, actual[length + k]) << "wrote past " << length << " bytes";
        ASSERT_EQ("",
                  first_difference(std::vector<unsigned char>(actual, actual + length), expected))
            << "fill of " << length;
        ASSERT_EQ(reference.s, state) << "state after a fill of " << length;
      }
    }
  }
  EXPECT_FALSE(use_random_lanes("none such"));
}

// Long fills store through the caches unless told to go around them: both kinds of store, in
// every kind of lanes, give the plain sequence, into buffers on a 16-byte boundary and off it.
TEST(Random, BothKindsOfStoreGiveThePlainSequence) {
  const std::uint64_t lengths[] = {16384, 16400, 65536, 131072 + 20, 1048576 + 7, 300001};
  for (RandomStores stores : {RandomStores::Streaming, RandomStores::Cached}) {
    use_random_stores(stores);
    for (const std::string& kind : random_lane_kinds()) {
      ASSERT_TRUE(use_random_lanes(kind));
      for (std::size_t offset : {0, 4}) {
        SCOPED_TRACE(kind + (stores == RandomStores::Streaming ? " streaming" : " cached") +
                     " at offset " + std::to_string(offset));
        Reference reference;
        RandomState state = initial_random_state;
        for (std::uint64_t length : lengths) {
          std::vector<unsigned char> storage(length + 32);
          const auto base = reinterpret_cast<std::uintptr_t>(storage.data());
          unsigned char* actual = storage.data() + (16 - base % 16) % 16 + offset;
          fill_random_from(state, actual, length);
          ASSERT_EQ("", first_difference(std::vector<unsigned char>(actual, actual + length),
                                         reference.fill(length)))
              << "fill of " << length;
        }
        ASSERT_EQ(reference.s, state);
      }
    }
  }
  use_random_stores(RandomStores::Cached);
}

// The process stream and a caller's own state are the same generator: a filler that draws ahead
// from a copy and hands the state back leaves the stream as if fill_random had drawn it.
TEST(Random, StateTakenAndHandedBackContinuesTheProcessStream) {
  set_random_state(initial_random_state);
  std::vector<unsigned char> a(20000), b(100000), c(7);
  fill_random(a.data(), a.size());
  RandomState taken = random_state();
  fill_random_from(taken, b.data(), b.size());
  set_random_state(taken);
  fill_random(c.data(), c.size());
  Reference reference;
  EXPECT_EQ("", first_difference(a, reference.fill(a.size())));
  EXPECT_EQ("", first_difference(b, reference.fill(b.size())));
  EXPECT_EQ("", first_difference(c, reference.fill(c.size())));
}

TEST(XorshiftJump, JumpEqualsThatManySteps) {
  for (std::uint64_t steps : {0ull, 1ull, 2ull, 3ull, 4ull, 31ull, 32ull, 33ull, 127ull, 128ull,
                              1000ull, 4096ull, 65537ull, (1ull << 20) + 5}) {
    Reference reference;
    reference.s = RandomState{0xdeadbeef, 1, 0x80000000u, 0x12345678};
    const RandomState from = reference.s;
    for (std::uint64_t i = 0; i < steps; ++i)
      reference.next();
    EXPECT_EQ(reference.s, XorshiftJump(steps).apply(from)) << steps << " steps";
  }
}

} // namespace
