// Texts for the operator: the positional formatter, sizes and durations.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

// The text "%?", inserted for every argument that a caller of format leaves out.
const std::string& absent_argument();

// Replaces "%1" to "%5" by the arguments and "%%" by "%"; any other "%" stays as it is.
std::string format(const char* text, const std::string& a1 = absent_argument(),
                   const std::string& a2 = absent_argument(),
                   const std::string& a3 = absent_argument(),
                   const std::string& a4 = absent_argument(),
                   const std::string& a5 = absent_argument());

// A byte count in decimal units ("999", "1.500KB", "500.1GB").
std::string format_size(std::uint64_t bytes);
// "part of total" in the unit that total calls for ("0.500 of 1.500KB").
std::string format_size_of(std::uint64_t part, std::uint64_t total);
// " 1 minute  5 seconds", " 1 hour  2 minutes".
std::string format_duration(std::uint32_t seconds);
std::ostream& write_duration(std::ostream& stream, std::uint32_t seconds);
