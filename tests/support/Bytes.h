// Comparing byte strings in tests without printing walls of hex.
#pragma once

#include <cstdio>
#include <string>

// Empty when the two are equal; else where they first differ, with the 16-byte chunk there of
// each ("at byte 4096: 6b6b... instead of 0000...", or a difference of length).
inline std::string first_difference(const std::string& actual, const std::string& expected) {
  if (actual == expected)
    return std::string();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    ++at;
  auto chunk = [&](const std::string& bytes) {
    std::string hex;
    const std::size_t start = at - at % 16;
    for (std::size_t i = start; i < start + 16 && i < bytes.size(); ++i) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(bytes[i]));
      hex += two;
    }
    return hex.empty() ? std::string("(nothing)") : hex;
  };
  std::string text = "at byte " + std::to_string(at) + " (chunk at " +
                     std::to_string(at - at % 16) + "): " + chunk(actual) + " instead of " +
                     chunk(expected);
  if (actual.size() != expected.size())
    text += "; " + std::to_string(actual.size()) + " bytes instead of " +
            std::to_string(expected.size());
  return text;
}
