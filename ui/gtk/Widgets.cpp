#include "gtk/Widgets.h"

#include "Guarded.h"

#include <stdexcept>

namespace gtk {

Widgets::~Widgets() { stop_blink(); }

void Widgets::check(unsigned i, const char* error) const {
  if (i >= widgets.size())
    throw std::runtime_error(error);
}

unsigned Widgets::add(GtkWidget* widget) {
  widgets.push_back(widget);
  return static_cast<unsigned>(widgets.size() - 1);
}

GtkWidget* Widgets::widget(unsigned i) const {
  check(i, "Widgets.cpp(104)");
  return widgets[i];
}

bool Widgets::is_visible(unsigned i) const {
  check(i, "Widgets.cpp(32)");
  return gtk_widget_get_visible(widgets[i]) != FALSE;
}

void Widgets::set_visible(unsigned i, bool on) {
  check(i, "Widgets.cpp(38)");
  stop_blink();
  gtk_widget_set_visible(widgets[i], on);
}

void Widgets::show_only(unsigned i, bool on) {
  check(i, "Widgets.cpp(53)");
  stop_blink();
  for (unsigned k = 0; k < widgets.size(); ++k)
    gtk_widget_set_visible(widgets[k], k == i ? on : !on);
}

void Widgets::set_all_visible(bool on) {
  stop_blink();
  for (GtkWidget* widget : widgets)
    gtk_widget_set_visible(widget, on);
}

bool Widgets::is_sensitive(unsigned i) const {
  check(i, "Widgets.cpp(62)");
  return gtk_widget_get_sensitive(widgets[i]) != FALSE;
}

void Widgets::set_sensitive(unsigned i, bool on) {
  check(i, "Widgets.cpp(68)");
  gtk_widget_set_sensitive(widgets[i], on);
}

void Widgets::set_all_sensitive(bool on) {
  for (GtkWidget* widget : widgets)
    gtk_widget_set_sensitive(widget, on);
}

void Widgets::enable_only(unsigned i, bool on) {
  check(i, "Widgets.cpp(81)");
  for (unsigned k = 0; k < widgets.size(); ++k)
    gtk_widget_set_sensitive(widgets[k], k == i ? on : !on);
}

void Widgets::blink(unsigned i, int period) {
  if (timer && i == blinkIndex && period == blinkPeriod)
    return;
  check(i, "Widgets.cpp(95)");
  stop_blink();
  timer.reset(g_timeout_add(static_cast<guint>(period), on_tick, this));
  blinkIndex = i;
  blinkPeriod = period;
}

void Widgets::stop_blink() { timer.reset(); }

gboolean Widgets::on_tick(gpointer self) {
  auto& group = *static_cast<Widgets*>(self);
  guarded("Widgets.cpp(124)", "Widgets.cpp(126)", [&] {
    GtkWidget* widget = group.widget(group.blinkIndex);
    gtk_widget_set_visible(widget, !gtk_widget_get_visible(widget));
  });
  return TRUE;
}

} // namespace gtk
