#include "Ranges.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using u64 = std::uint64_t;

std::string text(const Ranges& ranges) {
  std::string out;
  for (const auto& [start, count] : ranges.items())
    out += (out.empty() ? "[" : " [") + std::to_string(start) + "," +
           std::to_string(start + count) + ")";
  return out;
}

// Adds the pairs in order; the result is the set, or the text of the first failure followed by
// the set as it was before that add.
std::string add_all(const std::vector<std::pair<u64, u64>>& adds) {
  Ranges ranges;
  for (const auto& [start, count] : adds) {
    try {
      ranges.add(start, count);
    } catch (const std::runtime_error& e) {
      return std::string(e.what()) + " " + text(ranges);
    }
  }
  return text(ranges);
}

TEST(Ranges, Add) {
  const u64 top = std::numeric_limits<u64>::max();
  const struct {
    std::vector<std::pair<u64, u64>> adds;
    std::string expected;
  } cases[] = {
      {{{0, 10}, {10, 5}}, "[0,15)"},
      {{{10, 5}, {0, 10}}, "[0,15)"},
      {{{0, 5}, {10, 5}, {5, 5}}, "[0,15)"}, // fills the gap: all three become one
      {{{20, 5}, {0, 5}}, "[0,5) [20,25)"},
      {{{0, 10}, {5, 10}}, "Ranges.cpp(39) [0,10)"},
      {{{0, 10}, {2, 3}}, "Ranges.cpp(39) [0,10)"},
      {{{5, 10}, {0, 10}}, "Ranges.cpp(29) [5,15)"},
      {{{0, 5}, {10, 5}, {4, 6}}, "Ranges.cpp(39) [0,5) [10,15)"},
      {{{0, 0}}, "Ranges.cpp(23) "},
      {{{top - 1, 5}}, "Ranges.cpp(24) "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, add_all(c.adds));
}

TEST(Ranges, Remove) {
  const struct {
    u64 start, count;
    std::string expected;
  } cases[] = {
      {3, 2, "[0,3) [5,10)"}, {0, 10, ""},  {0, 3, "[3,10)"},
      {7, 3, "[0,7)"},        {8, 4, "Ranges.cpp(62) [0,10)"},
      {12, 1, "Ranges.cpp(62) [0,10)"},      {0, 0, "Ranges.cpp(55) [0,10)"},
  };
  for (const auto& c : cases) {
    Ranges ranges;
    ranges.add(0, 10);
    try {
      ranges.remove(c.start, c.count);
      EXPECT_EQ(c.expected, text(ranges)) << c.start << "+" << c.count;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.expected, std::string(e.what()) + " " + text(ranges))
          << c.start << "+" << c.count;
    }
  }
  Ranges empty;
  EXPECT_THROW(
      {
        try {
          empty.remove(0, 1);
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ("Ranges.cpp(57)", e.what());
          throw;
        }
      },
      std::runtime_error);
}

TEST(Ranges, IntersectAndOverlaps) {
  const struct {
    std::vector<std::pair<u64, u64>> set;
    u64 start, count;
    u64 expectedStart, expectedLength;
  } cases[] = {
      {{{0, 8}, {12, 8}}, 5, 10, 5, 3},
      {{{7, 13}}, 5, 10, 7, 8},
      {{{20, 10}}, 5, 10, 5, 0},
      {{{0, 8}}, 8, 4, 8, 0},
      {{{0, 100}}, 90, 20, 90, 10},
      {{}, 0, 1, 0, 0},
  };
  for (const auto& c : cases) {
    Ranges ranges;
    for (const auto& [start, count] : c.set)
      ranges.add(start, count);
    const Ranges::Range piece = ranges.intersect(c.start, c.count);
    EXPECT_EQ(c.expectedStart, piece.start()) << text(ranges) << " " << c.start << "+" << c.count;
    EXPECT_EQ(c.expectedLength, piece.length()) << text(ranges) << " " << c.start << "+" << c.count;
    EXPECT_EQ(c.expectedLength > 0, ranges.overlaps(c.start, c.count));
  }
}

} // namespace
