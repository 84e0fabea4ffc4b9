#include "Files.h"

#include <glib.h>

bool read_file(const std::string& name, std::string& text) {
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(name.c_str(), &contents, &length, nullptr))
    return false;
  text.assign(contents, length);
  g_free(contents);
  return true;
}

bool write_file(const std::string& name, const void* data, std::size_t length) {
  return g_file_set_contents(name.c_str(), static_cast<const gchar*>(data),
                             static_cast<gssize>(length), nullptr) == TRUE;
}
