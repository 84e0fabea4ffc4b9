// The generator must be Marsaglia's xorshift128 from its published example state: its first
// outputs are published with it. Each test runs in a process of its own, so the state is fresh.
#include "Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::uint32_t word(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t(bytes[3]) << 24;
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

} // namespace
