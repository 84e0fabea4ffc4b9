#include "OpenSibling.h"

#include "Win32Process.h"

#include <cstring>
#include <string>
#include <vector>

std::string sibling_program(const char* path, const char* ending, const char* replacement) {
  const std::size_t length = std::strlen(path);
  const std::size_t endingLength = std::strlen(ending);
  if (length < endingLength)
    return "";
  if (std::memcmp(path + length - endingLength, ending, endingLength) != 0)
    return "";
  return std::string(path, length - endingLength) + replacement;
}

int open_sibling_program(const char* path, const char* ending, const char* replacement,
                         ShellOpen open) {
  const std::string program = sibling_program(path, ending, replacement);
  if (program.empty())
    return -1;
  const HINSTANCE result = open(nullptr, "open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return result > 32 ? 0 : -1;
}

std::string launcher_path(const char* argv0) {
  if (std::strchr(argv0, '/') != nullptr)
    return argv0;
  std::vector<char> buffer(4096);
  const DWORD length = GetModuleFileNameA(0, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size())
    return argv0;
  return std::string(buffer.data(), length);
}
