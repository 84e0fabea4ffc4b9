// Ownership of the widgets that a window or panel shows.
//
// GtkBuilder owns what it loads and drops it when it is released; a window keeps its top widget
// (and any window it made itself, such as a tooltip) through a WidgetRef, so the builder can go
// as soon as the lookups are done. When the WidgetRef goes, the widget is destroyed (taken out
// of its parent, or closed when it is a window) and released.
#pragma once

#include <gtk/gtk.h>

#include <utility>

namespace gtk {

class WidgetRef {
public:
  WidgetRef() = default;
  explicit WidgetRef(GtkWidget* widget) { reset(widget); }
  WidgetRef(const WidgetRef&) = delete;
  WidgetRef& operator=(const WidgetRef&) = delete;
  ~WidgetRef() { reset(); }

  // Destroys and releases the widget held, if any, and holds `widget` instead (taking over a
  // floating reference, or adding one).
  void reset(GtkWidget* widget = nullptr) {
    if (widget != nullptr)
      g_object_ref_sink(widget);
    GtkWidget* old = std::exchange(held, widget);
    if (old != nullptr) {
      gtk_widget_destroy(old);
      g_object_unref(old);
    }
  }
  GtkWidget* get() const { return held; }

private:
  GtkWidget* held = nullptr;
};

} // namespace gtk
