#include "app/MainWindow.h"

#include "Strings.h"
#include "gtk/CVWStyle.h"
#include "gtk/WidgetName.h"

GtkWidget* make_main_window(const std::string& title, GtkWidget*& content) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk::set_widget_name(window, "MainWindow");
  gtk_window_set_title(GTK_WINDOW(window), valid_utf8(title).c_str());
  gtk_window_set_role(GTK_WINDOW(window), "main");
  gtk::install_style_tweaks(window);
  content = gtk_event_box_new();
  gtk::set_widget_name(content, "MainWindowContent");
  g_signal_connect(content, "button-press-event", G_CALLBACK(on_window_button_press), nullptr);
  gtk_container_add(GTK_CONTAINER(window), content);
  return window;
}

void show_main_window(GtkWidget* window) {
  // Centred again whenever it grows or shrinks, as a task's panels come and go: a window that
  // grew from where it was first centred would reach past the bottom of the screen.
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ALWAYS);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  // Not gtk_widget_show_all: the content shows what its state asks for, and hides the rest.
  gtk_widget_show(gtk_bin_get_child(GTK_BIN(window)));
  gtk_widget_show(window);
  // No button is chosen for the keyboard until the operator asks for one.
  gtk_window_set_focus(GTK_WINDOW(window), nullptr);
}

gboolean on_window_button_press(GtkWidget* widget, GdkEventButton* event, gpointer) {
  if (event->type == GDK_BUTTON_PRESS && event->button == 1) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    if (GTK_IS_WINDOW(toplevel))
      gtk_window_begin_move_drag(GTK_WINDOW(toplevel), 1, static_cast<gint>(event->x_root),
                                 static_cast<gint>(event->y_root), event->time);
  }
  return FALSE;
}
