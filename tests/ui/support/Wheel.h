// The mouse wheel in the GUI tests: one notch over a widget, as the X server reports it.
#pragma once

#include "GuiEnvironment.h"

#include <gtk/gtk.h>

// The innermost shown window under the point (x, y) of `window`, which becomes the point's
// place in it.
inline GdkWindow* innermost_window(GdkWindow* window, gint& x, gint& y) {
  // Children come topmost first.
  for (GList* child = gdk_window_peek_children(window); child != nullptr; child = child->next) {
    auto* inner = GDK_WINDOW(child->data);
    gint left = 0, top = 0, width = 0, height = 0;
    gdk_window_get_position(inner, &left, &top);
    gdk_drawable_get_size(inner, &width, &height);
    if (gdk_window_is_visible(inner) && x >= left && y >= top && x < left + width &&
        y < top + height) {
      x -= left;
      y -= top;
      return innermost_window(inner, x, y);
    }
  }
  return window;
}

// Turns the wheel one notch over the middle of `widget` (shown, in a realised window): the
// event goes to the innermost window there and from its widget up, as GTK hands on events.
// Returns the widget of that window, which is `widget` or one inside it when nothing covers it.
inline GtkWidget* turn_wheel(GtkWidget* widget, GdkScrollDirection direction) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
  gint x = 0, y = 0;
  gtk_widget_translate_coordinates(widget, toplevel, widget->allocation.width / 2,
                                   widget->allocation.height / 2, &x, &y);
  gint rootX = 0, rootY = 0;
  gdk_window_get_origin(gtk_widget_get_window(toplevel), &rootX, &rootY);
  rootX += x;
  rootY += y;
  GdkWindow* target = innermost_window(gtk_widget_get_window(toplevel), x, y);
  gpointer receiver = nullptr;
  gdk_window_get_user_data(target, &receiver);
  GdkEvent* event = gdk_event_new(GDK_SCROLL);
  event->scroll.window = GDK_WINDOW(g_object_ref(target));
  event->scroll.time = GDK_CURRENT_TIME;
  event->scroll.x = x;
  event->scroll.y = y;
  event->scroll.x_root = rootX;
  event->scroll.y_root = rootY;
  event->scroll.direction = direction;
  event->scroll.device = gdk_display_get_core_pointer(gdk_display_get_default());
  gtk_main_do_event(event);
  gdk_event_free(event);
  flush_events();
  return static_cast<GtkWidget*>(receiver);
}
