#include "FillPattern.h"

#include "Files.h"

#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

TEST(FillPattern, EveryByteSurvivesTheTextForm) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string text = pattern_to_text(one);
    EXPECT_EQ(text_to_pattern(text.c_str()), one) << "byte " << b << " as " << text;
    // Printable ASCII but the quote and the backslash stands for itself; the rest is escaped.
    if (b >= 0x20 && b <= 0x7E && b != '"' && b != '\\')
      EXPECT_EQ(text, one);
    else
      EXPECT_EQ(text[0], '\\') << "byte " << b;
    all += one;
  }
  const std::string text = pattern_to_text(all + all);
  EXPECT_EQ(text_to_pattern(text.c_str()), all + all);
}

TEST(FillPattern, TextsOfPatterns) {
  struct Case {
    std::string pattern;
    const char* text;
  };
  // clang-format off
  const Case cases[] = {
      {std::string(1, '\0'),      "\\x00"},
      {"",                        ""},
      {"CVW",                     "CVW"},
      {"a\"b\\c/d",               "a\\\"b\\\\c/d"},
      {"\b\t\n\f\r",              "\\b\\t\\n\\f\\r"},
      {"\x01\x1f\x7f\x80\xff",    "\\x01\\x1f\\x7f\\x80\\xff"},
      {"\xc3\xa9",                "\\xc3\\xa9"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(pattern_to_text(c.pattern), c.text);
  }
}

TEST(FillPattern, PatternsOfTexts) {
  struct Case {
    const char* text;
    std::string pattern; // empty: the text is refused
  };
  // clang-format off
  const Case cases[] = {
      {"\\x00",              std::string(1, '\0')},
      {"\\xFF",              "\xff"},
      {"\\xfF\\xAb",         "\xff\xab"},
      {"\xc3\xa9",           "\xc3\xa9"},          // typed characters are their UTF-8 bytes
      {"\\u00e9",            "\xc3\xa9"},
      {"\\u0000x",           std::string("\0x", 2)},
      {"\\/\\\"\\\\",        "/\"\\"},
      {"\\b\\f\\n\\r\\t",    "\b\f\n\r\t"},
      {"tab\there",          "tab\there"},
      {"//not a comment",    "//not a comment"},
      {"",                   ""},
      // Invalid escapes.
      {"\\",                 ""},
      {"abc\\",              ""},
      {"\\q",                ""},
      {"\\x4",               ""},
      {"\\x4g",              ""},
      {"\\u12",              ""},
      // A bare quote would end the text early: refused, not shortened.
      {"ab\"",               ""},
      {"ab\" ",              ""},
      {"ab\"//rest",         ""},
      {"ab\",\"pattern\":\"cd", ""},
      {"ab\",\"pattern\":1,\"x\":\"", ""},
      {"\\\\\"",             ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LogCapture quiet;
    EXPECT_EQ(text_to_pattern(c.text), c.pattern);
  }
  // Upper-case escapes come back lower case.
  EXPECT_EQ(pattern_to_text(text_to_pattern("\\xFF")), "\\xff");
  EXPECT_EQ(pattern_to_text(text_to_pattern("\xc3\xa9")), "\\xc3\\xa9");
}

TEST(FillPattern, PatternFiles) {
  TempDir dir;
  std::string big(5000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7);
  struct Case {
    const char* name;
    std::string bytes;
    std::uint32_t maxBytes;
    std::string expected;
  };
  const Case cases[] = {
      {"big", big, 4096, big.substr(0, 4096)},
      {"exact", big.substr(0, 4096), 4096, big.substr(0, 4096)},
      {"ten", "0123456789", 4096, "0123456789"},
      {"empty", "", 4096, ""},
      {"nothing taken", "abc", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(write_file(path, c.bytes.data(), c.bytes.size()));
    std::string pattern = "old";
    EXPECT_EQ(read_pattern_file(path, c.maxBytes, pattern), PatternFileStatus::Read);
    EXPECT_EQ(pattern, c.expected);
  }
}

// Only a regular file gives a pattern. A named pipe without a writer, or a device, is refused at
// once: the reader neither waits for a writer nor reads from what never ends.
TEST(FillPattern, WhatIsNoRegularFileIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    PatternFileStatus status;
    const char* logged;
  } cases[] = {
      {dir.file("missing"), PatternFileStatus::CannotOpen, "ReaderFile.cpp(32): "},
      {fifo, PatternFileStatus::NotAFile, "ReaderFile.cpp(35): "},
      {"/dev/zero", PatternFileStatus::NotAFile, "ReaderFile.cpp(35): "},
      {dir.path().string(), PatternFileStatus::NotAFile, "ReaderFile.cpp(35): "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    LogCapture log;
    std::string pattern = "old";
    auto reading =
        std::async(std::launch::async, [&] { return read_pattern_file(c.path, 4096, pattern); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "the reader waits";
      // A writer that comes and goes lets a reader stuck on the pipe go on.
      close(open(fifo.c_str(), O_WRONLY));
    }
    EXPECT_EQ(reading.get(), c.status);
    EXPECT_EQ(pattern, "old");
    EXPECT_EQ(log.text().rfind(c.logged + c.path, 0), 0u) << log.text();
  }
}
