#include "parts/PanelParts.h"

#include "Guarded.h"
#include "gtk/WidgetName.h"
#include "gtk/WorkArea.h"

PanelParts::PanelParts(GtkWidget* top, GtkWidget* bottom, GtkToggleButton* toggle, bool& shown)
    : top(top), bottom(bottom), toggle(toggle), shown(shown) {
  gtk::set_widget_name(GTK_WIDGET(toggle), "toggle");
  gtk_toggle_button_set_active(toggle, shown);
  g_signal_connect(toggle, "clicked", G_CALLBACK(on_toggle), this);
}

void PanelParts::select() {
  gtk_widget_show(top);
  gtk_toggle_button_set_active(toggle, shown);
  gtk_widget_set_visible(bottom, shown);
}

void PanelParts::deselect() {
  gtk_widget_hide(top);
  gtk_widget_hide(bottom);
}

void PanelParts::on_toggle(GtkButton*, gpointer self) {
  guarded("PanelParts.cpp(27)", "PanelParts.cpp(29)", [&] {
    auto* parts = static_cast<PanelParts*>(self);
    parts->shown = gtk_toggle_button_get_active(parts->toggle) != FALSE;
    gtk_widget_set_visible(parts->bottom, parts->shown);
    // Asked for, the part comes into view also where the task area has to scroll for it.
    if (parts->shown)
      gtk::bring_into_view(parts->bottom);
  });
}
