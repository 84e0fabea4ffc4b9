#include "LineBuffer.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class Lines : public LineBuffer::Callback {
public:
  void line(char* text) override {
    lines.emplace_back(text);
    if (then)
      then(text);
  }
  std::vector<std::string> lines;
  std::function<void(const std::string&)> then;
};

// Writes `chunk` at free_begin and commits it, as a reader of a pipe does.
void feed(LineBuffer& buffer, const std::string& chunk) {
  ASSERT_LE(chunk.size(), buffer.free_space());
  std::memcpy(buffer.free_begin(), chunk.data(), chunk.size());
  buffer.commit(static_cast<std::uint32_t>(chunk.size()));
}

} // namespace

TEST(LineBuffer, SplitsChunksIntoLines) {
  const struct {
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
  } cases[] = {
      {{"a\r\nb\n"}, {"a", "b"}},
      {{"a\r\r\n"}, {"a\r"}},
      {{"a\rb\n"}, {"a\rb"}},
      {{"\n"}, {""}},
      {{"\r\n"}, {""}},
      {{"\n\n"}, {"", ""}},
      {{"a\r\n\r\n"}, {"a", ""}},
      {{"ab", "c\nd", "\n"}, {"abc", "d"}},
      {{"a\r", "\n"}, {"a"}},
      {{"a", "", "b\n"}, {"ab"}},
      {{"no end"}, {}},
      {{"one\ntail"}, {"one"}},
      {{std::string("x\0y\n", 4)}, {"x"}},
      {{"1234567\n"}, {"1234567"}}, // the longest line that fits
      {{"12", "34567", "\n", "8\n"}, {"1234567", "8"}},
  };
  for (const auto& c : cases) {
    Lines lines;
    LineBuffer buffer(&lines, 8);
    for (const std::string& chunk : c.chunks)
      feed(buffer, chunk);
    EXPECT_EQ(lines.lines, c.lines) << ::testing::PrintToString(c.chunks);
  }
}

TEST(LineBuffer, FreeSpaceFollowsTheUnfinishedLine) {
  Lines lines;
  LineBuffer buffer(&lines, 8);
  EXPECT_EQ(buffer.free_space(), 8u);
  char* const front = buffer.free_begin();
  feed(buffer, "ab\ncd");
  EXPECT_EQ(buffer.free_space(), 6u);
  EXPECT_EQ(buffer.free_begin(), front + 2);
  EXPECT_EQ(std::string(front, 2), "cd");
}

TEST(LineBuffer, CommittingMoreThanTheFreeSpaceThrowsAndChangesNothing) {
  Lines lines;
  LineBuffer buffer(&lines, 8);
  feed(buffer, "abc");
  try {
    buffer.commit(6);
    FAIL() << "commit beyond the free space must throw";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "LineBuffer.cpp(30)");
  }
  feed(buffer, "d\n");
  EXPECT_EQ(lines.lines, std::vector<std::string>{"abcd"});
}

TEST(LineBuffer, ALineThatDoesNotFitIsDroppedToItsLineEndWithOneLogLine) {
  const struct {
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
  } cases[] = {
      {{"12345678", "\nok\n"}, {"ok"}},
      {{"1234", "5678", "abcdefgh", "xy", "z\nok", "\n"}, {"ok"}},
      {{"a\n123456", "78", "9\nb\n"}, {"a", "b"}},
      {{"12345678", "9", "\r\n", "ok\n"}, {"ok"}},
  };
  for (const auto& c : cases) {
    LogCapture log;
    Lines lines;
    LineBuffer buffer(&lines, 8);
    for (const std::string& chunk : c.chunks)
      feed(buffer, chunk);
    EXPECT_EQ(lines.lines, c.lines) << ::testing::PrintToString(c.chunks);
    EXPECT_EQ(log.text(), "LineBuffer.cpp(61): a line longer than 8 bytes is dropped\n");
  }
}

TEST(LineBuffer, ClearFromTheCallbackEndsTheCommit) {
  Lines lines;
  LineBuffer buffer(&lines, 16);
  lines.then = [&](const std::string& line) {
    if (line == "a")
      buffer.clear();
  };
  feed(buffer, "a\nb\npart");
  feed(buffer, "c\n");
  EXPECT_EQ(lines.lines, (std::vector<std::string>{"a", "c"}));
}

TEST(LineBuffer, AThrowingCallbackLeavesNoTornLineBehind) {
  Lines lines;
  LineBuffer buffer(&lines, 16);
  lines.then = [](const std::string& line) {
    if (line == "bad")
      throw std::runtime_error("Test.cpp(1)");
  };
  EXPECT_THROW(feed(buffer, "bad\nlost\npar"), std::runtime_error);
  // The rest of that chunk is dropped up to its next line end; a tail "tial" never appears.
  feed(buffer, "tial\nnext\n");
  EXPECT_EQ(lines.lines, (std::vector<std::string>{"bad", "next"}));
}

// Appended bytes wait until deliver hands their lines out, a given number at a time, oldest
// first; what a budget leaves waits for the next deliver, also across further appends.
TEST(LineBuffer, DeliverHandsOutAtMostTheLinesAsked) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::uint32_t>> steps; // append, then deliver so many
    std::vector<std::vector<std::string>> lines;              // handed out by each deliver
    bool lineLeft;                                            // has_line at the end
  } cases[] = {
      {"in budgets",
       {{"a\nb\r\nc\npart", 2}, {"", 2}, {"ial\n", 5}},
       {{"a", "b"}, {"c"}, {"partial"}},
       false},
      {"a budget of none", {{"a\n", 0}, {"b\n", 1}}, {{}, {"a"}}, true},
      {"exactly the lines waiting", {{"a\nb\n", 2}, {"c", 1}}, {{"a", "b"}, {}}, false},
      // A buffer full of lines not yet handed out is no line too long.
      {"a full buffer of waiting lines",
       {{"1234\n567\n89\nabc", 1}, {"", 1}, {"d\n", 5}},
       {{"1234"}, {"567"}, {"89", "abcd"}},
       false},
      {"a line too long, then more",
       {{"1234567890123456", 1}, {"9\nok\nmore\n", 1}, {"", 1}},
       {{}, {"ok"}, {"more"}},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    Lines lines;
    LineBuffer buffer(&lines, 16);
    std::vector<std::vector<std::string>> handed;
    for (const auto& [bytes, budget] : c.steps) {
      ASSERT_LE(bytes.size(), buffer.free_space());
      std::memcpy(buffer.free_begin(), bytes.data(), bytes.size());
      buffer.append(static_cast<std::uint32_t>(bytes.size()));
      lines.lines.clear();
      const std::uint32_t count = buffer.deliver(budget);
      EXPECT_EQ(count, lines.lines.size());
      handed.push_back(lines.lines);
    }
    EXPECT_EQ(handed, c.lines);
    EXPECT_EQ(buffer.has_line(), c.lineLeft);
  }
}
