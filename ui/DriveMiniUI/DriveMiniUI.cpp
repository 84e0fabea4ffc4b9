#include "DriveMiniUI/DriveMiniUI.h"

#include "Strings.h"
#include "gtk/Builder.h"
#include "gtk/WidgetName.h"

DriveMiniUI::DriveMiniUI() {
  gtk::Builder ui("DriveMiniUI/DriveMiniUI.ui");
  top.reset(ui.widget("widget"));
  gtk::set_widget_name(top.get(), "DriveMiniUI");
  model = ui.get<GtkLabel>("model", GTK_TYPE_LABEL);
  gtk::set_widget_name(GTK_WIDGET(model), "model");
  serial = ui.get<GtkLabel>("serial", GTK_TYPE_LABEL);
  gtk::set_widget_name(GTK_WIDGET(serial), "serial");
}

void DriveMiniUI::set_model(const std::string& text) {
  gtk_label_set_text(model, valid_utf8(text).c_str());
}

void DriveMiniUI::set_serial(const std::string& text) {
  gtk_label_set_text(serial, valid_utf8(text).c_str());
}
