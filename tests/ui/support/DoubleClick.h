// Double-clicks in the GUI tests.
#pragma once

#include "MainLoop.h"

#include <gtk/gtk.h>

// The desktop's double-click time, in milliseconds.
inline int double_click_time_ms() {
  gint ms = 0;
  g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &ms, nullptr);
  return ms;
}

// Lets the double-click time pass, serving the main loop meanwhile: a press that follows is a
// press of its own, not the second half of a double-click (START turned CONTINUE ignores that).
inline void wait_past_double_click() {
  run_loop([] { return false; }, (double_click_time_ms() + 50) * gint64{1000});
}
