// ShellExecuteA for the verb "open": the file or address goes to the desktop's opener
// ("xdg-open", or the program named by CVW_SHELL_OPEN), started detached. The Windows
// "open with" dialog (rundll32.exe) does not exist here and is reported as not associated.
#include "Win32.h"

#include <glib.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool is_address(const char* target) { return std::strstr(target, "://") != nullptr; }

} // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, int) {
  if (verb == nullptr || file == nullptr || std::strcmp(verb, "open") != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return SE_ERR_NOASSOC;
  }
  if (std::strcmp(file, "rundll32.exe") == 0) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  if (!is_address(file) && !g_file_test(file, G_FILE_TEST_EXISTS)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return SE_ERR_FNF;
  }
  const char* configured = std::getenv("CVW_SHELL_OPEN");
  std::string opener = configured != nullptr && *configured != '\0' ? configured : "xdg-open";
  gchar* found = g_find_program_in_path(opener.c_str());
  if (found == nullptr) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  gchar* argv[] = {found, const_cast<gchar*>(file), nullptr};
  const gboolean started =
      g_spawn_async(nullptr, argv, nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr, nullptr,
                    nullptr);
  g_free(found);
  if (!started) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return SE_ERR_NOASSOC;
  }
  return 42;
}
