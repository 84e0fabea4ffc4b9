// A sector shown as the boot sector of a FAT16, FAT32 or NTFS volume: the named fields at their
// fixed positions, one per line, labels translated and right-aligned on the colon. Nothing is
// checked: the bytes at the variant's positions are shown, whatever they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The variants; any other number reads as NTFS.
enum BootSectorVariant { BootSectorFat16 = 0, BootSectorFat32 = 1, BootSectorNtfs = 2 };

// (label, value) pairs in the order they were added.
using Rows = std::vector<std::pair<std::string, std::string>>;

// The table of `sector` as the boot sector of `variant`, every line ended by a line feed.
// The fields reach up to byte 511, so a sector of fewer than 512 bytes is not decoded: its
// hex dump (sector_hex_dump) is returned instead.
std::string decode_boot_sector(const std::string& sector, int variant);

void append_row(Rows& rows, const std::string& label, const std::string& value);

// Each row as blanks, the label, ": ", the value and a line feed, the blanks making every label
// as wide, in characters, as the widest one.
std::string format_rows(const Rows& rows);

// Unsigned decimal texts.
std::string format_u8(std::uint8_t value);
std::string format_u16(std::uint16_t value);
std::string format_u32(std::uint32_t value);
std::string format_u64(std::uint64_t value);

// The `count` bytes in memory order as two lowercase hex digits each, separated by blanks.
std::string format_hex_bytes(const unsigned char* bytes, std::size_t count);
// The `count` bytes as characters: printable ASCII as itself, anything else ".".
std::string format_chars(const unsigned char* bytes, std::size_t count);
