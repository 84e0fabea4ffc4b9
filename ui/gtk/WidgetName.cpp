#include "gtk/WidgetName.h"

#include <cstring>

namespace gtk {

void set_accessible_id(GtkWidget* widget, const char* id) {
  atk_object_set_accessible_id(gtk_widget_get_accessible(widget), id);
}

const char* accessible_id(GtkWidget* widget) {
  const char* id = atk_object_get_accessible_id(gtk_widget_get_accessible(widget));
  return id != nullptr ? id : "";
}

void set_widget_name(GtkWidget* widget, const char* name) {
  gtk_widget_set_name(widget, name);
  const char* id = accessible_id(widget);
  if (*id == '\0' || std::strcmp(id, "widget") == 0)
    set_accessible_id(widget, name);
}

} // namespace gtk
