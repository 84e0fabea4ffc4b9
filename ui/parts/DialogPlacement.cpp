#include "parts/DialogPlacement.h"

void place_dialog(GtkWindow* dialog, GtkWindow* parent) {
  if (parent != nullptr) {
    gtk_window_set_transient_for(dialog, parent);
    gtk_window_set_position(dialog, GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(dialog, GTK_WIN_POS_CENTER);
  }
}
