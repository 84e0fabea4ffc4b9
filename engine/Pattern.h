// Fill patterns: copies of a pattern laid end to end, restarting at every sector.
#pragma once

#include <cstdint>
#include <string>

// Fills `length` bytes with copies of the pattern, the last one cut short; an empty pattern
// gives zero bytes.
void fill_pattern(void* buffer, std::uint64_t length, const void* pattern,
                  std::uint64_t patternLength);

// fill_pattern on each of `count` consecutive sectors, so that every sector starts with the
// pattern's first byte.
void fill_pattern_sectors(std::uint64_t count, void* buffer, std::uint64_t sectorSize,
                          const void* pattern, std::uint64_t patternLength);

// The pattern's first byte alone; 0x00 for an empty pattern.
std::string pattern_first_byte(const std::string& pattern);

// Every byte of the pattern inverted.
std::string pattern_complement(std::string pattern);
