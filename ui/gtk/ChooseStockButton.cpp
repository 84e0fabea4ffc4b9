#include "gtk/ChooseStockButton.h"

#include "gtk/WidgetName.h"

namespace gtk {

namespace {

const char* const response_key = "cvw-response";

void on_clicked(GtkButton* button, gpointer dialog) {
  gtk_dialog_response(GTK_DIALOG(dialog),
                      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), response_key)));
}

// The buttons stand in a column of their own instead of the dialog's row of action buttons,
// so they answer the dialog themselves.
void add_button(GtkWidget* dialog, GtkWidget* box, const char* item, int response) {
  GtkWidget* button = gtk_button_new_from_stock(item);
  g_object_set_data(G_OBJECT(button), response_key, GINT_TO_POINTER(response));
  g_signal_connect(button, "clicked", G_CALLBACK(on_clicked), dialog);
  gtk_container_add(GTK_CONTAINER(box), button);
}

} // namespace

int choose_stock_button(GtkWindow* parent, const char* title, const char* const* items) {
  GtkWidget* dialog = gtk_dialog_new();
  if (parent != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  }
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_dialog_set_has_separator(GTK_DIALOG(dialog), FALSE);
  set_accessible_id(dialog, "choose-stock-button");

  // The dialog's own button row stays, empty and hidden: the dialog still refers to it.
  GtkWidget* actionArea = GTK_DIALOG(dialog)->action_area;
  gtk_widget_hide(actionArea);
  gtk_widget_set_no_show_all(actionArea, TRUE);

  GtkWidget* box = gtk_vbutton_box_new();
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  gtk_box_pack_end(GTK_BOX(GTK_DIALOG(dialog)->vbox), box, FALSE, FALSE, 0);
  int count = 0;
  for (; items != nullptr && items[count] != nullptr; ++count)
    add_button(dialog, box, items[count], count);
  add_button(dialog, box, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL);
  gtk_widget_show_all(box);

  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response >= 0 && response < count ? response : -1;
}

} // namespace gtk
