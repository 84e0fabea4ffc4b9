#include "gtk/ResourceDirectory.h"

#include <glib.h>

namespace gtk {

namespace {

std::string& directory() {
  static std::string folder;
  return folder;
}

} // namespace

const std::string& resource_directory() { return directory(); }

void set_resource_directory(const std::string& folder) { directory() = folder; }

std::string join_path(const std::string& first, const std::string& second) {
  gchar* joined = g_build_filename(first.c_str(), second.c_str(), nullptr);
  std::string path(joined);
  g_free(joined);
  return path;
}

} // namespace gtk
