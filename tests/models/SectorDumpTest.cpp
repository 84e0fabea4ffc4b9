#include "SectorDump.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "a line without its line end";
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

} // namespace

TEST(SectorDump, LinesOfSixteenBytes) {
  std::string sector(512, '\0');
  for (std::size_t i = 0; i < sector.size(); ++i)
    sector[i] = static_cast<char>(i);
  const auto lines = lines_of(sector_hex_dump(sector));
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_EQ(lines[0], "0000 | 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f  | ................");
  EXPECT_EQ(lines[2],
            "0020 | 20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f  |  !\"#$%&'()*+,-./");
  EXPECT_EQ(lines[7], "0070 | 70 71 72 73 74 75 76 77 78 79 7a 7b 7c 7d 7e 7f  | pqrstuvwxyz{|}~.");
  EXPECT_EQ(lines[31].substr(0, 7), "01f0 | ");
  for (const std::string& line : lines)
    EXPECT_EQ(line.size(), 74u);

  EXPECT_EQ(lines_of(sector_hex_dump(std::string(4096, 'x'))).back().substr(0, 4), "0ff0");
  EXPECT_EQ(lines_of(sector_hex_dump(std::string(0x10010, 'x'))).back().substr(0, 6), "10000 ");
}

TEST(SectorDump, ShortLastLineAndNothing) {
  EXPECT_EQ(sector_hex_dump(""), "");
  EXPECT_EQ(sector_hex_dump("AB\xff"),
            "0000 | 41 42 ff                                         | AB.\n");
  const auto lines = lines_of(sector_hex_dump(std::string(17, 'z')));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "0010 | 7a                                               | z");
}
