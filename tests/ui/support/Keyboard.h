// The keyboard in the GUI tests: a window made the active one, as a window manager or the
// pointer would make it, and keys pressed in it, as the X server would deliver them.
#pragma once

#include "GuiEnvironment.h"

#include <gtk/gtk.h>

// Tells the shown `window` that it has the keyboard: its focus widget then shows its focus and
// gets the keys.
inline void give_keyboard_to(GtkWidget* window) {
  GdkEvent* event = gdk_event_new(GDK_FOCUS_CHANGE);
  event->focus_change.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->focus_change.send_event = TRUE;
  event->focus_change.in = TRUE;
  gtk_widget_event(window, event);
  gdk_event_free(event);
  flush_events();
}

// Presses and releases `keyval` in the shown `window`, through the toolkit's own event handling
// as the X server's events go (key snoopers and grabs included); the window hands the key to
// its focus widget, or acts on it itself (Tab moves the focus).
inline void press_key(GtkWidget* window, guint keyval) {
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) &&
        count > 0)
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  flush_events();
}
