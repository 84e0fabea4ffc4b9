#include "gtk/ButtonUI.h"

#include <stdexcept>

namespace gtk {

namespace {

gboolean on_enter(GtkWidget* widget, GdkEventCrossing*, gpointer) {
  if (widget->window != nullptr) {
    GdkCursor* hand = gdk_cursor_new(GDK_HAND2);
    gdk_window_set_cursor(widget->window, hand);
    gdk_cursor_unref(hand);
  }
  return TRUE;
}

gboolean on_leave(GtkWidget* widget, GdkEventCrossing*, gpointer) {
  if (widget->window != nullptr)
    gdk_window_set_cursor(widget->window, nullptr);
  return TRUE;
}

} // namespace

void set_hand_cursor(GtkWidget* widget) {
  g_signal_connect(widget, "enter-notify-event", G_CALLBACK(on_enter), nullptr);
  g_signal_connect(widget, "leave-notify-event", G_CALLBACK(on_leave), nullptr);
}

ButtonUI::ButtonUI(GtkWidget* button) : button_(button) { set_hand_cursor(button); }

void ButtonUI::set_companion(GtkWidget* companion) { companion_ = companion; }

void ButtonUI::set_enabled(bool enabled) {
  if (button_ == nullptr)
    throw std::runtime_error("ButtonUI.cpp(37)");
  gtk_widget_set_sensitive(button_, enabled);
  if (companion_ != nullptr)
    gtk_widget_set_visible(companion_, enabled);
}

} // namespace gtk
