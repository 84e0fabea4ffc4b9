#include "SectorDump.h"

#include <cstdio>

std::string sector_hex_dump(const std::string& data) {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  text.reserve((data.size() + 15) / 16 * 75);
  for (std::size_t line = 0; line < data.size(); line += 16) {
    const std::size_t n = data.size() - line < 16 ? data.size() - line : 16;
    char offset[24];
    std::snprintf(offset, sizeof offset, "%04zx", line);
    text += offset;
    text += " | ";
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char b = static_cast<unsigned char>(data[line + i]);
      text += hex[b >> 4];
      text += hex[b & 15];
      text += ' ';
    }
    text.append(3 * (16 - n), ' ');
    text += " | ";
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char b = static_cast<unsigned char>(data[line + i]);
      text += b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.';
    }
    text += '\n';
  }
  return text;
}
