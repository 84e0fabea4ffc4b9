// Keeping a window of a fixed size inside the screen: the part of the monitor that the desktop
// leaves to windows (the work area), a window whose parts give up height and then scroll rather
// than let it grow past it, and scrolling a part of it into view.
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
// a viewport, passes every change of the content's size on). The parts of the content that
// let_shrink made shrinkable ask for their least height, and the window asks for as much of
// the rest as fits; the height that it gets beyond its request goes to the scroller (it must
// be the window's only part that grows and shrinks), and from there down to the shrinkable
// parts, as far as each box on the way lets them expand. When even their least height leaves
// the window too tall, the scroller gets the height that is left and shows its scroll bar, for
// which the window grows wider; a shrinkable part then takes the height that makes it and what
// follows it in the content as high as the view, so that scrolled to the end the view begins
// with it (no part above is cut in half at its edge). Nothing happens once the scroller has
// left the window.
void fit_to_work_area(GtkWindow* window, GtkScrolledWindow* scroller);

// Lets `widget`, a part of the content of a scroller that fit_to_work_area fitted, give up
// height before the scroller has to scroll: there it asks for `minimumHeight` alone, and the
// window asks for up to its height request on top (the height it has where there is room,
// which it asks for outside such a window). Inside a stretch that keep_in_view holds it gives
// up height down to `heldMinimumHeight` (no more than `minimumHeight`) where the stretch needs
// it. The widget must not be the content itself.
void let_shrink(GtkWidget* widget, int minimumHeight, int heldMinimumHeight);

// As soon as `target` has next been placed, and when it then lies in the content of a scroller
// that fit_to_work_area fitted, scrolls the scroller so that the target lies wholly in view (its
// top part when it is higher than the view); a target already in view stays where it is.
void bring_into_view(GtkWidget* target);

// Keeps the stretch of `part`, a part of the content of a scroller that fit_to_work_area fitted,
// from its top to the foot of `last` (a widget inside it) in view, where the scroller scrolls:
// the shrinkable parts inside `part` above `last` take the height that makes the stretch as
// high as the view (down to their least height in a held stretch; where even that is too high,
// the view begins with the stretch's top),
// and as soon as `last` has next been placed the view scrolls to show the stretch as
// bring_into_view shows a target. Holds until let_go_of_view; a hidden part holds nothing.
void keep_in_view(GtkWidget* part, GtkWidget* last);
// The stretch of `part` is held no longer: its shrinkable parts take their height as before.
void let_go_of_view(GtkWidget* part);

} // namespace gtk
