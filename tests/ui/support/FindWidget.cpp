#include "FindWidget.h"

#include "gtk/WidgetName.h"

#include <gtest/gtest.h>

namespace {

void collect(GtkWidget* widget, gpointer list) {
  static_cast<std::vector<GtkWidget*>*>(list)->push_back(widget);
  if (GTK_IS_CONTAINER(widget))
    gtk_container_forall(GTK_CONTAINER(widget), collect, list);
}

} // namespace

std::vector<GtkWidget*> all_widgets(GtkWidget* root) {
  std::vector<GtkWidget*> widgets;
  collect(root, &widgets);
  return widgets;
}

std::string accessible_id_of(GtkWidget* widget) { return gtk::accessible_id(widget); }

GtkWidget* find_widget(GtkWidget* root, const std::string& id) {
  for (GtkWidget* widget : all_widgets(root)) {
    const char* name = gtk_buildable_get_name(GTK_BUILDABLE(widget));
    if ((name != nullptr && id == name) || accessible_id_of(widget) == id)
      return widget;
  }
  return nullptr;
}

GtkWidget* widget_by_id(GtkWidget* root, const std::string& id) {
  GtkWidget* widget = find_widget(root, id);
  if (widget == nullptr)
    ADD_FAILURE() << "no widget \"" << id << "\"";
  return widget;
}
