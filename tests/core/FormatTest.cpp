#include "Format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <sstream>

TEST(Format, Placeholders) {
  const struct {
    const char* text;
    std::string a1, a2;
    const char* expected;
  } cases[] = {
      {"%1 - %2%% | %3", "A", "B", "A - B% | %?"},
      {"100%", "", "", "100%"},
      {"%6%1", "x", "", "%6x"},
      {"%%1", "x", "", "%1"},
      {"%2%1%2", "a", "b", "bab"},
      {"%1", "%2", "no", "%2"}, // arguments are not scanned again
      {"", "x", "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(format(c.text, c.a1, c.a2), c.expected) << c.text;
  EXPECT_EQ(format("%1%5"), "%?%?");
}

TEST(Format, Sizes) {
  const struct {
    std::uint64_t bytes;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1.000KB"},
      {1500, "1.500KB"},
      {999'949, "999.9KB"},
      {999'950, "1.000MB"},
      {9'999'999, "10.000MB"},
      {99'999'999, "100.0MB"},
      {123'456'789, "123.5MB"},
      {500'107'862'016, "500.1GB"},
      {1'000'204'886'016, "1.000TB"},
      {UINT64_MAX, "18446744.1TB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(format_size(c.bytes), c.expected) << c.bytes;
}

TEST(Format, SizesOfATotal) {
  const struct {
    std::uint64_t part, total;
    const char* expected;
  } cases[] = {
      {250, 999, "250 of 999"},
      {5000, 999, "5000 of 999"},
      {500, 1500, "0.500 of 1.500KB"},
      {500'000'000, 1'000'204'886'016, "0.001 of 1.000TB"},
      {5'000'000'000, 1500, "5000000.0 of 1.500KB"},
      {UINT64_MAX, 1000, "184467440737095 of 1.000KB"}, // a number is cut at 15 characters
  };
  for (const auto& c : cases)
    EXPECT_EQ(format_size_of(c.part, c.total), c.expected) << c.part << " " << c.total;
}

TEST(Format, Durations) {
  const struct {
    std::uint32_t seconds;
    const char* expected;
  } cases[] = {
      {0, " 0 minutes  0 seconds"},
      {1, " 0 minutes  1 second"},
      {65, " 1 minute  5 seconds"},
      {3599, "59 minutes 59 seconds"},
      {3725, " 1 hour  2 minutes"},
      {360'000, "100 hours  0 minutes"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(format_duration(c.seconds), c.expected) << c.seconds;
  std::ostringstream stream;
  stream.fill('*');
  write_duration(stream, 65) << "|";
  EXPECT_EQ(stream.str(), "*1 minute**5 seconds|");
}

// Stored texts must not change with the operator's locale.
TEST(Format, SizesIgnoreACommaDecimalLocale) {
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "nl_NL.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr && *std::localeconv()->decimal_point == ',') {
      comma = true;
      break;
    }
  }
  if (!comma) {
    std::setlocale(LC_ALL, "C");
    GTEST_SKIP() << "no comma-decimal locale is installed (locale-gen de_DE.UTF-8)";
  }
  EXPECT_EQ(format_size(1500), "1.500KB");
  EXPECT_EQ(format_size_of(500, 1500), "0.500 of 1.500KB");
  std::setlocale(LC_ALL, "C");
}
