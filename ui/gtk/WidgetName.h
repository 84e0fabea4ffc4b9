// Widget names: what the GTK resource file styles, and what assistive tools and tests find a
// widget by. GTK 2 exports neither widget names nor builder ids to the accessibility bus, so the
// name is given to the widget's accessible object as its id as well.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// Sets `widget`'s accessible id to `id`.
void set_accessible_id(GtkWidget* widget, const char* id);

// The accessible id of `widget`, "" when it has none.
const char* accessible_id(GtkWidget* widget);

// Names `widget` for the resource file (gtk_widget_set_name). The name also becomes its
// accessible id unless it has a specific one already: the builder id wins over a name that
// changes with the state ("stop" stays "stop" when named "cancel"), except the generic id
// "widget" of a window's top, which the window's own name replaces.
void set_widget_name(GtkWidget* widget, const char* name);

} // namespace gtk
