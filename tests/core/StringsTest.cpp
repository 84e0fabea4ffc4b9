#include "Strings.h"

#include "Win32.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(Strings, Trim) {
  const struct {
    std::string text;
    const char* set;
    const char* expected;
  } cases[] = {
      {"   ", " \t", ""},      {"", " ", ""},      {" \ta b\t ", " \t", "a b"},
      {"xxabcxx", "x", "abc"}, {"abc", "", "abc"},
  };
  for (auto c : cases) {
    const std::string copy = trim(c.text, c.set);
    EXPECT_EQ(c.text, c.expected);
    EXPECT_EQ(copy, c.expected);
  }
}

TEST(Strings, Split) {
  const struct {
    const char* text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"a,,b", {"a", "", "b"}}, {"a,", {"a", ""}}, {"", {""}}, {",", {"", ""}}, {"abc", {"abc"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> out{"kept"};
    split(c.text, out, ',');
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(out, expected) << c.text;
  }
}

TEST(Strings, ValidUtf8) {
  const std::string replacement = "\xef\xbf\xbd";
  const struct {
    const char* name;
    std::string text;
    std::string expected;
  } cases[] = {
      {"ASCII", "WD-1234", "WD-1234"},
      {"UTF-8 kept",
       "Gr\xc3\xb6\xc3\x9f"
       "e \xe2\x82\xac",
       "Gr\xc3\xb6\xc3\x9f"
       "e \xe2\x82\xac"},
      {"a Latin-1 byte", "caf\xe9", "caf" + replacement},
      {"a cut sequence at the end", "ab\xe2\x82", "ab" + replacement + replacement},
      {"a NUL inside", std::string("a\0b", 3), "a" + replacement + "b"},
      {"an overlong form", "\xc0\xaf", replacement + replacement},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(valid_utf8(c.text), c.expected);
  }
}

TEST(Strings, HexDump) {
  const struct {
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"", ""},
      {std::string("ABC\0", 4), "41 42 43 00 " + std::string(36, ' ') + "ABC.\n"},
      {"0123456789abcdef~", "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 0123456789abcdef\n"
                            "7e " +
                                std::string(45, ' ') + "~\n"},
      {"\x7f\x80\x1f ", "7f 80 1f 20 " + std::string(36, ' ') + "... \n"},
  };
  for (const auto& c : cases) {
    std::ostringstream stream;
    stream << std::hex;
    stream.fill('0');
    hex_dump(stream, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
    EXPECT_EQ(stream.str(), c.expected);
    stream.str("");
    stream << 255;
    EXPECT_EQ(stream.str(), "255"); // decimal again
    EXPECT_EQ(stream.fill(), ' ');
  }
}

TEST(Strings, LastErrorTextHasNoLineEnd) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string text = last_error_text();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(last_error_text(), "");
}
