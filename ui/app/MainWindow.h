// The program's one main window: undecorated, centred, of a fixed size, and dragged by its
// content with the first mouse button.
#pragma once

#include <gtk/gtk.h>

#include <string>

// The window, titled `title`, with an event box as its only child (returned in `content`) into
// which the caller puts the main window's content. Not shown yet.
GtkWidget* make_main_window(const std::string& title, GtkWidget*& content);

// Centres the window, takes its decorations away, fixes its size and shows it with everything
// in it.
void show_main_window(GtkWidget* window);

// "button-press-event" of the content: a single press of button 1 starts moving the window.
// Returns FALSE, so that the press also reaches whatever else handles it.
gboolean on_window_button_press(GtkWidget* widget, GdkEventButton* event, gpointer);
