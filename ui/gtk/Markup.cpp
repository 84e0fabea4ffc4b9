#include "gtk/Markup.h"

#include "Strings.h"

#include <glib.h>

namespace gtk {

std::string escape_markup(const std::string& text) {
  const std::string valid = valid_utf8(text);
  gchar* escaped = g_markup_escape_text(valid.data(), static_cast<gssize>(valid.size()));
  std::string result(escaped);
  g_free(escaped);
  return result;
}

} // namespace gtk
