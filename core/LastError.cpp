#include "Strings.h"

#include "Win32.h"

std::string last_error_text() {
  const DWORD code = GetLastError();
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&message), 0, nullptr);
  if (length == 0 || message == nullptr)
    return std::string();
  std::string text(message, length);
  LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  return text;
}
