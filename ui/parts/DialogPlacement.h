// Where the program's dialogs open.
#pragma once

#include <gtk/gtk.h>

// Makes `dialog` transient for `parent` and centred on it; without a parent, centred on the
// screen.
void place_dialog(GtkWindow* dialog, GtkWindow* parent);
