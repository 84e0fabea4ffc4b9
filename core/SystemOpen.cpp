#include "Files.h"

#include "DebugLog.h"
#include "Win32.h"

#include <glib.h>

#include <ostream>

bool system_open(const std::string& target) {
  gchar* converted = g_locale_from_utf8(target.c_str(), -1, nullptr, nullptr, nullptr);
  if (converted == nullptr) {
    debug_log() << "SystemOpen.cpp(16): " << target << "\n";
    return false;
  }
  HINSTANCE result = ShellExecuteA(nullptr, "open", converted, nullptr, nullptr, SW_SHOWNORMAL);
  if (result <= 32) {
    debug_log() << "SystemOpen.cpp(23): " << converted << " " << result << "\n";
    if (result == SE_ERR_NOASSOC) {
      const std::string parameters = std::string("shell32,OpenAs_RunDLL ") + converted;
      result = ShellExecuteA(nullptr, "open", "rundll32.exe", parameters.c_str(), nullptr,
                             SW_SHOWNORMAL);
    }
  }
  g_free(converted);
  return result > 32;
}
