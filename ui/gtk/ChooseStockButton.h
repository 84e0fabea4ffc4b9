// A small modal dialog that offers a column of buttons and answers which one was pressed.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// Shows `items` (a null-terminated list of stock ids or plain texts with mnemonics) as a
// column of buttons under `title`, followed by Cancel, over `parent` (centred on it) or centred
// on the screen. Returns the index of the pressed item; -1 for Cancel, closing the window or
// Escape.
int choose_stock_button(GtkWindow* parent, const char* title, const char* const* items);

} // namespace gtk
