#include "Locale.h"

#include "DebugLog.h"
#include "Win32Locale.h"

#include <glib/gstdio.h>

#include <ostream>

namespace {

bool accessible(const std::string& path) { return g_access(path.c_str(), 0) == 0; }

} // namespace

Locale& Locale::instance() {
  static Locale locale;
  return locale;
}

void Locale::init(const std::string& directory) {
  folder = directory;
  locale = platform::user_locale();
  if (locale.empty()) {
    debug_log() << "Locale.cpp(40)\n";
    locale = "en";
    return;
  }
  if (accessible(folder + "/" + locale))
    return;
  debug_log() << "Locale.cpp(44): " << locale << "\n";
  const std::size_t territory = locale.find('_');
  if (territory == std::string::npos)
    return;
  locale.erase(territory);
  if (accessible(folder + "/" + locale))
    return;
  debug_log() << "Locale.cpp(50): " << locale << "\n";
  locale = "en";
}

std::string Locale::path(const std::string& file) const {
  const std::string localised = folder + "/" + locale + "/" + file;
  if (accessible(localised))
    return localised;
  debug_log() << "Locale.cpp(63): " << localised << "\n";
  return folder + "/en/" + file;
}
