#include "gtk/GtkResizableLabel.h"

namespace {

void on_size_allocate(GtkWidget* widget, GtkAllocation* allocation, gpointer) {
  GtkResizableLabel* self = GTK_RESIZABLE_LABEL(widget);
  GtkWidget* label = GTK_WIDGET(self->label);
  gtk_widget_set_size_request(label, allocation->width, -1);
  GtkRequisition wrapped;
  gtk_widget_size_request(label, &wrapped);
  gtk_widget_set_size_request(widget, self->width, wrapped.height);
}

} // namespace

GType gtk_resizable_label_get_type() {
  static GType type = 0;
  if (type == 0)
    type =
        g_type_register_static_simple(GTK_TYPE_LAYOUT, "GtkResizableLabel", sizeof(GtkLayoutClass),
                                      nullptr, sizeof(GtkResizableLabel), nullptr, GTypeFlags(0));
  return type;
}

GtkWidget* gtk_resizable_label_new(const char* markup, int width) {
  GtkWidget* widget = GTK_WIDGET(g_object_new(GTK_TYPE_RESIZABLE_LABEL, nullptr));
  GtkResizableLabel* self = GTK_RESIZABLE_LABEL(widget);
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_markup(GTK_LABEL(label), markup);
  int natural = 0;
  pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), &natural, nullptr);
  gtk_layout_put(GTK_LAYOUT(widget), label, 0, 0);
  gtk_widget_set_size_request(widget, natural, -1);
  g_signal_connect(widget, "size-allocate", G_CALLBACK(on_size_allocate), nullptr);
  self->label = GTK_LABEL(label);
  self->width = natural < width ? natural : width;
  return widget;
}

void gtk_resizable_label_set_width(GtkResizableLabel* label, int width) {
  label->width = width;
  gtk_widget_set_size_request(GTK_WIDGET(label), width, -1);
}
