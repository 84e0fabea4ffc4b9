// Keeping a window of a fixed size inside the screen: the part of the monitor that the desktop
// leaves to windows (the work area), and a window that scrolls part of its content rather than
// grow past it.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// The work area of the monitor on which GTK centres `window` (the one under the pointer): the
// monitor less the panels that the window manager announces (_NET_WORKAREA), the whole monitor
// when there is no window manager. The area that set_work_area gave instead, when there is one.
GdkRectangle work_area(GtkWindow* window);

// Makes `area` stand for the work area of `window`'s monitor (and for the monitor itself): a
// test fits the window into a screen of another size than its display.
void set_work_area(GtkWindow* window, const GdkRectangle& area);

// The highest `window` may be so that, centred on its monitor as GTK centres it, it lies wholly
// inside the work area.
int fitting_height(GtkWindow* window);

// Keeps `window` (not resizable) no taller than fitting_height: `scroller`, a scrolled window
// inside it that scrolls vertically only, asks for the whole height of its content (its child,
// a viewport, passes every change of the content's size on); when the window would then be too
// tall, the scroller gets the height that is left (it must be the window's only part that grows
// and shrinks) and shows its scroll bar, for which the window grows wider. Nothing happens once
// the scroller has left the window.
void fit_to_work_area(GtkWindow* window, GtkScrolledWindow* scroller);

} // namespace gtk
