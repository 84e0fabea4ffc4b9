#include "Win32Locale.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

std::string user_locale() {
  const char* value = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      break;
    value = nullptr;
  }
  if (value == nullptr)
    return std::string();
  std::string locale(value);
  const std::size_t cut = std::min(locale.find('.'), locale.find('@'));
  if (cut != std::string::npos)
    locale.erase(cut);
  if (locale == "C" || locale == "POSIX")
    return std::string();
  return locale;
}

} // namespace platform
