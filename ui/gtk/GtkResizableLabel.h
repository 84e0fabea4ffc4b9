// A label that wraps its markup to the width it is given, and whose height follows the wrapped
// text: a GtkLayout holding one wrapping GtkLabel. The message box uses it for texts of any
// length.
#pragma once

#include <gtk/gtk.h>

struct GtkResizableLabel {
  GtkLayout layout;
  GtkLabel* label;
  int width; // pixels asked for
};

// The type "GtkResizableLabel", a subtype of GtkLayout, registered on the first call.
GType gtk_resizable_label_get_type();

// A new label showing `markup`, as wide as its text wraps by itself or `width`, whichever is
// smaller.
GtkWidget* gtk_resizable_label_new(const char* markup, int width);

// Asks for `width` pixels from now on; the text rewraps on the next allocation.
void gtk_resizable_label_set_width(GtkResizableLabel* label, int width);

#define GTK_TYPE_RESIZABLE_LABEL (gtk_resizable_label_get_type())
#define GTK_RESIZABLE_LABEL(object)                                                                \
  (G_TYPE_CHECK_INSTANCE_CAST((object), GTK_TYPE_RESIZABLE_LABEL, GtkResizableLabel))
