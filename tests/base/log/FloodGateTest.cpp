#include "FloodGate.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>

namespace {

// "line NNNN" and a line end: 10 bytes.
std::string line_text(int n) {
  std::string number = std::to_string(n);
  return "line " + std::string(4 - number.size(), '0') + number + "\n";
}

// A gate of 100 bytes' burst and 1000 bytes a second into a string, on a clock the test moves.
struct Gated {
  Gated() : gate(std::make_unique<FloodGate>(out.rdbuf(), 100, 1000, [this] { return now; })) {}
  // Writes `count` lines of 10 bytes ("line NNNN\n" from `first`).
  void lines(int first, int count) {
    std::ostream log(gate.get());
    for (int n = first; n < first + count; ++n)
      log << line_text(n);
  }
  std::string text() const { return out.str(); }

  std::int64_t now = 0;
  std::ostringstream out;
  std::unique_ptr<FloodGate> gate;
};

std::string lines(int first, int count) {
  std::string text;
  for (int n = first; n < first + count; ++n)
    text += line_text(n);
  return text;
}

const std::string note(int lines, int bytes) {
  return "FloodGate.cpp(70): " + std::to_string(lines) + " lines (" + std::to_string(bytes) +
         " bytes) dropped in a flood\n";
}

} // namespace

// A burst passes whole; a flood passes at the rate, and the first line after what was dropped
// comes after one line that counts it; a flood that lasts to the end is counted at the end.
TEST(FloodGate, PassesBurstsAndCountsWhatAFloodDrops) {
  const struct {
    const char* name;
    int firstBurst;      // lines written at time 0
    std::int64_t later;  // microseconds later
    int secondBurst;     // lines written then
    std::string written; // after the gate has gone
  } cases[] = {
      {"within the burst", 10, 0, 0, lines(0, 10)},
      {"a flood told at the end", 50, 0, 0, lines(0, 10) + note(40, 400)},
      {"refilled after a second: the note first", 50, 1000000, 3,
       lines(0, 10) + note(40, 400) + lines(50, 3)},
      {"refilled for 3 lines only", 50, 30000, 10,
       lines(0, 10) + note(40, 400) + lines(50, 3) + note(7, 70)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Gated gated;
    gated.lines(0, c.firstBurst);
    gated.now += c.later;
    gated.lines(c.firstBurst, c.secondBurst);
    gated.gate.reset();
    EXPECT_EQ(gated.text(), c.written);
  }
}

// Lines reach the target as they end, not before; a line longer than the burst never passes
// and is not kept while it grows.
TEST(FloodGate, WholeLinesOnly) {
  Gated gated;
  std::ostream log(gated.gate.get());
  log << "part";
  EXPECT_EQ(gated.text(), "");
  log << "ial\n";
  EXPECT_EQ(gated.text(), "partial\n");
  log << std::string(1000, 'x') << "\nafter\n";
  EXPECT_EQ(gated.text(), "partial\n" + note(1, 1001) + "after\n");
}
