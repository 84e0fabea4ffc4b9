#include "gtk/Markup.h"

#include <glib.h>

namespace gtk {

std::string escape_markup(const std::string& text) {
  gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
  std::string result(escaped);
  g_free(escaped);
  return result;
}

} // namespace gtk
