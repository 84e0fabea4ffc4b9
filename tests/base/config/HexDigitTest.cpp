#include "HexDigit.h"

#include <gtest/gtest.h>

// The ends of the three ranges and their neighbours, the byte 0 and a byte above 127.
TEST(HexDigit, OnlyTheSixteenDigitsOfEitherCase) {
  const struct {
    char c;
    int value;
  } cases[] = {
      {'0', 0},  {'9', 9},  {'a', 10},  {'f', 15},    {'A', 10},    {'F', 15},
      {'/', -1}, {':', -1}, {'`', -1},  {'g', -1},    {'@', -1},    {'G', -1},
      {'x', -1}, {' ', -1}, {'\0', -1}, {'\xff', -1}, {'\xe6', -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex_digit_value(c.c), c.value) << static_cast<int>(static_cast<unsigned char>(c.c));
}
