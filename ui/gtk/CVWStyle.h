// The program's style tweaks: how text is drawn, and the names by which the GTK resource file
// styles menus.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// Applies use_own_draw_layout to `widget` now and again whenever it gets a new style.
void install_style_tweaks(GtkWidget* widget);

// Replaces the text drawing of the class of `widget`'s current style with draw_layout; the
// change holds for every style of that class in the process.
void use_own_draw_layout(GtkWidget* widget);

// Draws `layout` once at (x, y) in the style's text colour (`useText`) or foreground colour of
// `state`, clipped to `area` when given. Insensitive text is drawn flat in the insensitive
// colour, without the embossed shadow of the default theme.
void draw_layout(GtkStyle* style, GdkWindow* window, GtkStateType state, gboolean useText,
                 GdkRectangle* area, GtkWidget* widget, const gchar* detail, gint x, gint y,
                 PangoLayout* layout);

// Names a pop-up menu "cvw-menu".
void set_menu_name(GtkWidget* menu);

// The first menu attached to `widget`, null when none is.
GtkWidget* attached_menu(GtkWidget* widget);

// Names the pop-up menu of `combo` "cvw-combobox-popup-menu". A combo box without one (shown as
// a list) only logs "CVWStyle.cpp(46)".
void set_combo_popup_name(GtkComboBox* combo);

} // namespace gtk
