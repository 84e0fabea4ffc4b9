#include "OpenSibling.h"

#include "Win32Process.h"

#include <cstring>
#include <filesystem>
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

std::string launched_program(const std::string& path) {
  const std::string sibling = sibling_program(path.c_str(), launcher_ending, launcher_replacement);
  if (!sibling.empty())
    return sibling;
  const std::size_t slash = path.rfind('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  if (path.compare(name, std::string::npos, launcher_name) != 0)
    return "";
  return path.substr(0, name) + launched_name;
}

int open_program(const std::string& program, ShellOpen open) {
  const HINSTANCE result = open(nullptr, "open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return result > 32 ? 0 : -1;
}

int open_sibling_program(const char* path, const char* ending, const char* replacement,
                         ShellOpen open) {
  const std::string program = sibling_program(path, ending, replacement);
  if (program.empty())
    return -1;
  return open_program(program, open);
}

std::string launcher_path(const char* argv0) {
  if (std::strchr(argv0, '/') != nullptr) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(argv0, error);
    return error ? std::string(argv0) : real.string();
  }
  std::vector<char> buffer(4096);
  const DWORD length = GetModuleFileNameA(0, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size())
    return argv0;
  return std::string(buffer.data(), length);
}
