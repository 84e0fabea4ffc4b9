#include "gtk/Wheel.h"

namespace gtk {

namespace {

constexpr const char* kept_key = "cvw-wheel-kept";

// Stopping the emission keeps the widget's own handler from running; false lets GTK hand the
// event on to the parents, as for a widget that takes no wheel at all.
gboolean on_wheel(GtkWidget* widget, GdkEventScroll*, gpointer) {
  g_signal_stop_emission_by_name(widget, "scroll-event");
  return FALSE;
}

void keep(GtkWidget* widget, gpointer) {
  if ((GTK_IS_COMBO_BOX(widget) || GTK_IS_SPIN_BUTTON(widget)) &&
      g_object_get_data(G_OBJECT(widget), kept_key) == nullptr) {
    g_object_set_data(G_OBJECT(widget), kept_key, GINT_TO_POINTER(1));
    g_signal_connect(widget, "scroll-event", G_CALLBACK(on_wheel), nullptr);
  }
  if (GTK_IS_CONTAINER(widget))
    gtk_container_foreach(GTK_CONTAINER(widget), keep, nullptr);
}

} // namespace

void keep_wheel_from_values(GtkWidget* root) { keep(root, nullptr); }

} // namespace gtk
