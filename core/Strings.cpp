#include "Strings.h"

#include <glib.h>

#include <ostream>

std::string trim(std::string& text, const char* set) {
  const std::size_t first = text.find_first_not_of(set);
  if (first == std::string::npos) {
    text.clear();
    return text;
  }
  text.erase(0, first);
  text.erase(text.find_last_not_of(set) + 1);
  return text;
}

void split(const std::string& text, std::vector<std::string>& out, char separator) {
  std::size_t position = 0;
  for (;;) {
    const std::size_t found = text.find(separator, position);
    if (found == std::string::npos) {
      out.push_back(text.substr(position));
      return;
    }
    out.push_back(text.substr(position, found - position));
    position = found + 1;
  }
}

std::string valid_utf8(const std::string& text) {
  const char* end = nullptr;
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), &end) &&
      end == text.data() + text.size())
    return text;
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result(valid);
  g_free(valid);
  return result;
}

void hex_dump(std::ostream& stream, const void* data, std::uint32_t length) {
  static const char hex[] = "0123456789abcdef";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (std::uint32_t line = 0; line < length; line += 16) {
    const std::uint32_t n = length - line < 16 ? length - line : 16;
    std::string text;
    for (std::uint32_t i = 0; i < n; ++i) {
      const unsigned char b = bytes[line + i];
      text += hex[b >> 4];
      text += hex[b & 15];
      text += ' ';
    }
    text.append(3 * (16 - n), ' ');
    for (std::uint32_t i = 0; i < n; ++i) {
      const unsigned char b = bytes[line + i];
      text += b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.';
    }
    text += '\n';
    stream << text;
  }
  stream << std::dec;
  stream.fill(' ');
}
