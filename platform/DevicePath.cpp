#include "DevicePath.h"

namespace platform {

namespace {

// Paths are compared in ASCII, whatever the locale.
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool ascii_letter(char c) { return ascii_upper(c) >= 'A' && ascii_upper(c) <= 'Z'; }
bool ascii_digit(char c) { return c >= '0' && c <= '9'; }
bool ascii_hex(char c) {
  return ascii_digit(c) || (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f');
}

bool starts_with_nocase(const std::string& text, const char* prefix, std::size_t& after) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size() || ascii_lower(text[i]) != ascii_lower(prefix[i]))
      return false;
  }
  after = i;
  return true;
}

std::string lower(std::string text) {
  for (char& c : text)
    c = ascii_lower(c);
  return text;
}

} // namespace

bool is_guid(const std::string& text) {
  if (text.size() != 36)
    return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !ascii_hex(text[i]))
      return false;
  }
  return true;
}

std::string volume_path(const std::string& guid) { return "\\\\?\\Volume{" + guid + "}"; }

DevicePath parse_device_path(const std::string& path) {
  DevicePath result;
  std::size_t at = 0;
  if (!starts_with_nocase(path, "\\\\.\\", at) && !starts_with_nocase(path, "\\\\?\\", at))
    return result;
  const std::string rest = path.substr(at);
  std::size_t digits = 0;
  if (starts_with_nocase(rest, "PhysicalDrive", digits)) {
    const std::string number = rest.substr(digits);
    if (number.empty() || number.size() > 10 || (number.size() > 1 && number[0] == '0'))
      return result;
    std::uint64_t value = 0;
    for (char c : number) {
      if (!ascii_digit(c))
        return result;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu)
      return result;
    result.kind = DevicePath::Drive;
    result.number = static_cast<DWORD>(value);
    return result;
  }
  if (rest.size() == 2 && ascii_letter(rest[0]) && rest[1] == ':') {
    result.kind = DevicePath::Letter;
    result.letter = ascii_upper(rest[0]);
    return result;
  }
  std::size_t brace = 0;
  if (starts_with_nocase(rest, "Volume{", brace) && rest.size() == brace + 37 &&
      rest.back() == '}' && is_guid(rest.substr(brace, 36))) {
    result.kind = DevicePath::Volume;
    result.guid = lower(rest.substr(brace, 36));
  }
  return result;
}

DevicePath parse_root_path(const std::string& path) {
  if (path.size() < 2 || path.back() != '\\')
    return DevicePath();
  const std::string bare = path.substr(0, path.size() - 1);
  if (bare.size() == 2 && ascii_letter(bare[0]) && bare[1] == ':') {
    DevicePath result;
    result.kind = DevicePath::Letter;
    result.letter = ascii_upper(bare[0]);
    return result;
  }
  DevicePath result = parse_device_path(bare);
  if (result.kind == DevicePath::Drive)
    return DevicePath();
  return result;
}

} // namespace platform

namespace platform {

DWORD unknown_path_error(const std::string& path) {
  const bool device = path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
                      (path[2] == '.' || path[2] == '?') && path[3] == '\\';
  return device ? ERROR_FILE_NOT_FOUND : ERROR_NOT_SUPPORTED;
}

} // namespace platform
