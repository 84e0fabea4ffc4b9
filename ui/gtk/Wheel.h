// The mouse wheel over the program's settings: turned by an operator who scrolls a panel, it
// must not change what the pointer happens to pass over.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// Over every combo box and spin button under `root` (those there now: call it again for
// widgets added later), a turn of the wheel changes no value and goes on to the widgets around,
// so that a scrolled area around it scrolls, or nothing happens. Clicks and keys change the
// value as before.
void keep_wheel_from_values(GtkWidget* root);

} // namespace gtk
