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
  directory_ = directory;
  name_ = platform::user_locale();
  if (name_.empty()) {
    debug_log() << "Locale.cpp(40)\n";
    name_ = "en";
    return;
  }
  if (accessible(directory_ + "/" + name_))
    return;
  debug_log() << "Locale.cpp(44): " << name_ << "\n";
  const std::size_t territory = name_.find('_');
  if (territory == std::string::npos)
    return;
  name_.erase(territory);
  if (accessible(directory_ + "/" + name_))
    return;
  debug_log() << "Locale.cpp(50): " << name_ << "\n";
  name_ = "en";
}

std::string Locale::path(const std::string& file) const {
  const std::string localised = directory_ + "/" + name_ + "/" + file;
  if (accessible(localised))
    return localised;
  debug_log() << "Locale.cpp(63): " << localised << "\n";
  return directory_ + "/en/" + file;
}
