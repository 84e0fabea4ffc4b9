#include "Pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Pattern, FillsRestartingAtEverySector) {
  const struct {
    std::string pattern;
    std::size_t sectorSize, sectors;
    std::string sector; // every sector
  } cases[] = {
      {"", 8, 3, std::string(8, '\0')},
      {"abc", 8, 3, "abcabcab"},
      {"0123456789", 4, 2, "0123"},
      {std::string("\0\n", 2), 5, 2, std::string("\0\n\0\n\0", 5)},
      {"x", 512, 1, std::string(512, 'x')},
  };
  for (const auto& c : cases) {
    std::string buffer(c.sectorSize * c.sectors + 1, '~');
    fill_pattern_sectors(c.sectors, buffer.data(), c.sectorSize, c.pattern.data(),
                         c.pattern.size());
    for (std::size_t i = 0; i < c.sectors; ++i)
      EXPECT_EQ(c.sector, buffer.substr(i * c.sectorSize, c.sectorSize)) << c.pattern;
    EXPECT_EQ('~', buffer.back()) << "wrote past the sectors";
  }
}

TEST(Pattern, LongBufferHoldsWholeCopiesThenACutOne) {
  std::string buffer(512, '\0');
  fill_pattern(buffer.data(), buffer.size(), "abc", 3);
  std::string expected;
  while (expected.size() < 510)
    expected += "abc";
  EXPECT_EQ(expected + "ab", buffer);
}

} // namespace
