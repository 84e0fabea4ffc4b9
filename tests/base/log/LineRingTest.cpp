#include "LineRing.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

} // namespace

// However much is written, the ring holds at most its capacity of whole lines, the newest ones
// in order, after one line that counts exactly what went.
TEST(LineRing, KeepsTheNewestLinesWithinItsCapacity) {
  const struct {
    int lines;
    std::size_t capacity;
  } cases[] = {{10, 1600}, {1000, 1600}, {100000, 1600}, {100000, 64 << 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lines) + " lines into " + std::to_string(c.capacity));
    LineRing ring(c.capacity);
    std::ostream log(&ring);
    std::uint64_t bytes = 0;
    for (int n = 0; n < c.lines; ++n) {
      const std::string line = "Test.cpp(1): line " + std::to_string(n) + "\n";
      log << "Test.cpp(1): line " << n << "\n";
      bytes += line.size();
    }
    const std::vector<std::string> kept = lines_of(ring.text());
    ASSERT_FALSE(kept.empty());
    std::size_t first = 0;
    if (ring.dropped_lines() > 0) {
      EXPECT_EQ(kept[0], "LineRing.cpp(20): " + std::to_string(ring.dropped_lines()) +
                             " older lines (" + std::to_string(ring.dropped_bytes()) +
                             " bytes) dropped");
      first = 1;
    }
    const std::size_t text = ring.text().size() - (first == 1 ? kept[0].size() + 1 : 0);
    EXPECT_LE(text, c.capacity);
    EXPECT_EQ(text + ring.dropped_bytes(), bytes);
    // At most a block short of full.
    if (bytes > c.capacity) {
      EXPECT_GT(text, c.capacity - c.capacity / 16 - 40);
    }
    EXPECT_EQ(kept.size() - first + ring.dropped_lines(), static_cast<std::size_t>(c.lines));
    for (std::size_t i = first; i < kept.size(); ++i)
      EXPECT_EQ(kept[i], "Test.cpp(1): line " + std::to_string(ring.dropped_lines() + i - first));
  }
}

TEST(LineRing, TheUnfinishedLineEndsTheTextAndAnOverlongLineKeepsItsStart) {
  LineRing ring(64);
  std::ostream log(&ring);
  log << "one\ntw";
  log.put('o');
  EXPECT_EQ(ring.text(), "one\ntwo");
  log << "\n" << std::string(200, 'x') << "\n";
  EXPECT_EQ(ring.text(),
            "LineRing.cpp(20): 2 older lines (8 bytes) dropped\n" + std::string(63, 'x') + "\n");
  log << "last\n";
  EXPECT_EQ(ring.text(), "LineRing.cpp(20): 3 older lines (72 bytes) dropped\nlast\n");
}
