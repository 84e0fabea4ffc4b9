#include "gtk/WorkArea.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace gtk {

namespace {

constexpr const char* work_area_key = "cvw-work-area";
// On a window: its scroller, which fit_to_work_area fitted.
constexpr const char* fitted_key = "cvw-fitted-scroller";
// On a shrinkable widget: its Shrinkable.
constexpr const char* shrinkable_key = "cvw-shrinkable";
// On a fitted scroller: whether a shrinkable part was last placed at another height than it is
// to have (another pass follows).
constexpr const char* refilling_key = "cvw-refilling";
// On a part that keep_in_view holds: the widget whose foot ends the stretch held.
constexpr const char* held_key = "cvw-held-to";
// On a target of bring_into_view: the widget whose top begins what comes into view; none for
// the target itself.
constexpr const char* from_key = "cvw-into-view-from";

// The CARDINAL values of the root window's property `name`; empty when it is not there.
std::vector<long> root_cardinals(GdkScreen* screen, const char* name) {
  GdkAtom type = GDK_NONE;
  gint format = 0;
  gint length = 0;
  guchar* data = nullptr;
  std::vector<long> values;
  if (gdk_property_get(gdk_screen_get_root_window(screen), gdk_atom_intern(name, FALSE),
                       gdk_atom_intern("CARDINAL", FALSE), 0, 4096, FALSE, &type, &format, &length,
                       &data) &&
      format == 32 && data != nullptr) {
    // Values of format 32 come as longs, whatever their size.
    const long* cardinals = reinterpret_cast<const long*>(data);
    values.assign(cardinals, cardinals + length / static_cast<gint>(sizeof(long)));
  }
  g_free(data);
  return values;
}

// The rectangle that the window manager leaves to windows on the current desktop; false when
// it announces none.
bool announced_work_area(GdkScreen* screen, GdkRectangle& area) {
  const std::vector<long> desktop = root_cardinals(screen, "_NET_CURRENT_DESKTOP");
  const std::vector<long> areas = root_cardinals(screen, "_NET_WORKAREA");
  std::size_t index = desktop.empty() || desktop[0] < 0 ? 0 : static_cast<std::size_t>(desktop[0]);
  if (4 * index + 4 > areas.size())
    index = 0;
  if (areas.size() < 4)
    return false;
  area = {static_cast<gint>(areas[4 * index]), static_cast<gint>(areas[4 * index + 1]),
          static_cast<gint>(areas[4 * index + 2]), static_cast<gint>(areas[4 * index + 3])};
  return area.width > 0 && area.height > 0;
}

// The monitor on which GTK centres a window: the one under the pointer.
GdkRectangle centring_monitor(GtkWindow* window) {
  GdkScreen* screen = gtk_window_get_screen(window);
  GdkScreen* pointerScreen = nullptr;
  gint x = 0, y = 0;
  gdk_display_get_pointer(gdk_screen_get_display(screen), &pointerScreen, &x, &y, nullptr);
  const gint monitor = pointerScreen == screen ? gdk_screen_get_monitor_at_point(screen, x, y)
                                               : gdk_screen_get_n_monitors(screen) / 2;
  GdkRectangle geometry;
  gdk_screen_get_monitor_geometry(screen, monitor, &geometry);
  return geometry;
}

const GdkRectangle* given_work_area(GtkWindow* window) {
  return static_cast<const GdkRectangle*>(g_object_get_data(G_OBJECT(window), work_area_key));
}

// The scroller asks for the whole height of its content, and for no room for a scroll bar:
// the window makes room for one only when it has to scroll.
void on_scroller_size_request(GtkWidget* scroller, GtkRequisition* requisition, gpointer) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(scroller));
  if (child == nullptr || !gtk_widget_get_visible(child))
    return;
  GtkRequisition content;
  gtk_widget_get_child_requisition(child, &content);
  gint frameX = 2 * static_cast<gint>(gtk_container_get_border_width(GTK_CONTAINER(scroller)));
  gint frameY = frameX;
  if (gtk_scrolled_window_get_shadow_type(GTK_SCROLLED_WINDOW(scroller)) != GTK_SHADOW_NONE) {
    frameX += 2 * scroller->style->xthickness;
    frameY += 2 * scroller->style->ythickness;
  }
  requisition->width = content.width + frameX;
  requisition->height = content.height + frameY;
}

// The content of a fitted scroller: the child of its viewport.
GtkWidget* content_of(GtkWidget* scroller) {
  GtkWidget* viewport = gtk_bin_get_child(GTK_BIN(scroller));
  return viewport != nullptr && GTK_IS_BIN(viewport) ? gtk_bin_get_child(GTK_BIN(viewport))
                                                     : nullptr;
}

// The scroller that the window of `widget` was fitted with, when the widget lies in its
// content; null otherwise.
GtkWidget* fitted_scroller_of(GtkWidget* widget) {
  GtkWidget* window = gtk_widget_get_toplevel(widget);
  if (!GTK_IS_WINDOW(window))
    return nullptr;
  auto* scroller = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), fitted_key));
  return scroller != nullptr && gtk_widget_is_ancestor(widget, scroller) ? scroller : nullptr;
}

// What let_shrink makes of a widget.
struct Shrinkable {
  int minimum;     // its least height
  int growth;      // what it may take back on top where there is room
  int heldMinimum; // its least height inside a stretch that keep_in_view holds
  // The height it takes while the scroller scrolls: as much as leaves it and what follows it
  // in the content the height of the view (0 until the scroller has scrolled).
  int filling = 0;
  // Where its foot lay in the content when it was last placed; -1 before.
  int placedFoot = -1;
  // Whether it was last placed inside a stretch that keep_in_view holds.
  bool held = false;

  int least() const { return held ? heldMinimum : minimum; }
  int scrolling_height() const { return std::max(least(), filling); }
};

Shrinkable* shrinkable_of(GtkWidget* widget) {
  return static_cast<Shrinkable*>(g_object_get_data(G_OBJECT(widget), shrinkable_key));
}

// In a fitted window, a shrinkable part asks for its least height (or, while the scroller
// scrolls, for its filling); elsewhere for its whole height.
void on_shrinkable_size_request(GtkWidget* widget, GtkRequisition* requisition, gpointer) {
  const Shrinkable& shrinkable = *shrinkable_of(widget);
  requisition->height = fitted_scroller_of(widget) != nullptr
                            ? shrinkable.scrolling_height()
                            : shrinkable.minimum + shrinkable.growth;
}

// The stretch that keep_in_view holds around `widget` (inside `content`), as the top and the
// foot in the content's coordinates; false when no shown part above it holds one that ends below
// the widget's top at `y`. The foot is where it was last placed: the widget is placed first.
bool held_stretch(GtkWidget* widget, GtkWidget* content, int y, int& top, int& foot) {
  for (GtkWidget* part = gtk_widget_get_parent(widget); part != nullptr && part != content;
       part = gtk_widget_get_parent(part)) {
    auto* last = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(part), held_key));
    gint partX = 0, partY = 0, lastX = 0, lastY = 0;
    if (last == nullptr || !gtk_widget_is_drawable(last) ||
        !gtk_widget_translate_coordinates(part, content, 0, 0, &partX, &partY) ||
        !gtk_widget_translate_coordinates(last, content, 0, 0, &lastX, &lastY) || lastY < y)
      continue;
    top = partY;
    foot = lastY + last->allocation.height;
    return true;
  }
  return false;
}

// Where the scroller scrolls, the part grows (or shrinks back) until it reaches from the top of
// the view to what follows it: no part above it is cut off at the view's edge, and a view
// scrolled to the end shows it and everything after it (a next pass asks for the new height).
// Inside a stretch that keep_in_view holds, it takes what makes the stretch as high as the view.
void on_shrinkable_placed(GtkWidget* widget, GtkAllocation* allocation, gpointer) {
  GtkWidget* scroller = fitted_scroller_of(widget);
  GtkWidget* content = scroller != nullptr ? content_of(scroller) : nullptr;
  gint x = 0, y = 0;
  if (content == nullptr || !gtk_widget_translate_coordinates(widget, content, 0, 0, &x, &y))
    return;
  const int view = static_cast<int>(gtk_adjustment_get_page_size(
      gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller))));
  Shrinkable& shrinkable = *shrinkable_of(widget);
  // What the view is to show besides the part: what follows it, or the rest of a held stretch,
  // where what lies between the part and the stretch's foot is measured as both were last placed.
  int besides = content->allocation.height - (y + allocation->height);
  int top = 0, foot = 0;
  const bool held = shrinkable.placedFoot >= 0 && held_stretch(widget, content, y, top, foot);
  if (held)
    besides = y - top + foot - shrinkable.placedFoot;
  shrinkable.placedFoot = y + allocation->height;
  const bool heldChanged = held != shrinkable.held;
  shrinkable.held = held;
  // Where nothing scrolls, the height to spare came down through the boxes.
  const int filling = content->allocation.height <= view
                          ? shrinkable.scrolling_height()
                          : std::max(shrinkable.least(), view - besides);
  // Also placed twice in one pass (the scroller tries its content without and with its scroll
  // bar), the part is not at its height before the next pass.
  g_object_set_data(G_OBJECT(scroller), refilling_key,
                    GINT_TO_POINTER(filling != allocation->height ? 1 : 0));
  if (!heldChanged && filling == shrinkable.scrolling_height())
    return;
  shrinkable.filling = filling;
  gtk_widget_queue_resize(widget);
}

// The shrinkable parts shown under `widget`.
void shown_shrinkables(GtkWidget* widget, std::vector<GtkWidget*>& found) {
  if (!gtk_widget_get_visible(widget))
    return;
  if (shrinkable_of(widget) != nullptr)
    found.push_back(widget);
  if (GTK_IS_CONTAINER(widget))
    gtk_container_foreach(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer parts) {
          shown_shrinkables(child, *static_cast<std::vector<GtkWidget*>*>(parts));
        },
        &found);
}

void on_window_size_request(GtkWidget* window, GtkRequisition* requisition, gpointer scroller) {
  if (gtk_widget_get_toplevel(GTK_WIDGET(scroller)) != window)
    return;
  const int limit = fitting_height(GTK_WINDOW(window));
  std::vector<GtkWidget*> shrinkables;
  shown_shrinkables(GTK_WIDGET(scroller), shrinkables);
  int filled = 0, growth = 0;
  for (GtkWidget* widget : shrinkables) {
    const Shrinkable& shrinkable = *shrinkable_of(widget);
    filled += shrinkable.scrolling_height() - shrinkable.minimum;
    growth += shrinkable.growth;
  }
  // As tall as the window is with every shrinkable part at its least height.
  const int least = requisition->height - filled;
  if (least <= limit) {
    // The window fits without scrolling after all (a part of the content went): the parts
    // give their filling up, in a next pass.
    for (GtkWidget* widget : shrinkables)
      if (std::exchange(shrinkable_of(widget)->filling, 0) != 0)
        gtk_widget_queue_resize(widget);
    // The shrinkable parts take back what fits of their height; the scroller passes it on.
    requisition->height = std::min(limit, least + growth);
    return;
  }
  requisition->height = limit;
  GtkRequisition bar;
  gtk_widget_get_child_requisition(
      gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(scroller)), &bar);
  gint spacing = 0;
  gtk_widget_style_get(GTK_WIDGET(scroller), "scrollbar-spacing", &spacing, nullptr);
  requisition->width += bar.width + spacing;
}

// The scroller's view moves as little as it takes to show the target whole; once, or again in
// the pass that follows when a shrinkable part (placed before the target) changes its height.
// The viewport has set the bounds of the scroller's adjustment before it placed its content.
void on_target_placed(GtkWidget* target, GtkAllocation*, gpointer) {
  GtkWidget* scroller = fitted_scroller_of(target);
  // Read once: a part that is not placed again (its task went) leaves no word behind.
  const bool again =
      scroller != nullptr && g_object_steal_data(G_OBJECT(scroller), refilling_key) != nullptr;
  if (!again)
    g_signal_handlers_disconnect_matched(target, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                         reinterpret_cast<gpointer>(on_target_placed), nullptr);
  GtkWidget* content = scroller != nullptr ? content_of(scroller) : nullptr;
  gint x = 0, y = 0;
  if (content == nullptr || !gtk_widget_translate_coordinates(target, content, 0, 0, &x, &y))
    return;
  const int foot = y + target->allocation.height;
  auto* from = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(target), from_key));
  gint fromX = 0, fromY = 0;
  if (from != nullptr && gtk_widget_translate_coordinates(from, content, 0, 0, &fromX, &fromY))
    y = fromY;
  gtk_adjustment_clamp_page(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller)), y,
                            foot);
}

// As soon as `target` has next been placed, scrolls to show it from the top of `from` (the
// target itself, or an ancestor) to its foot.
void bring_stretch_into_view(GtkWidget* from, GtkWidget* target) {
  g_signal_handlers_disconnect_matched(target, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                       reinterpret_cast<gpointer>(on_target_placed), nullptr);
  g_object_set_data(G_OBJECT(target), from_key, from != target ? from : nullptr);
  g_signal_connect_after(target, "size-allocate", G_CALLBACK(on_target_placed), nullptr);
}

// The shrinkable parts under `part` are placed again, and take their height anew.
void refill(GtkWidget* part) {
  std::vector<GtkWidget*> shrinkables;
  shown_shrinkables(part, shrinkables);
  for (GtkWidget* widget : shrinkables)
    gtk_widget_queue_resize(widget);
}

} // namespace

GdkRectangle work_area(GtkWindow* window) {
  if (const GdkRectangle* given = given_work_area(window))
    return *given;
  const GdkRectangle monitor = centring_monitor(window);
  GdkRectangle announced;
  GdkRectangle area = monitor;
  if (announced_work_area(gtk_window_get_screen(window), announced) &&
      !gdk_rectangle_intersect(&monitor, &announced, &area))
    area = monitor;
  return area;
}

void set_work_area(GtkWindow* window, const GdkRectangle& area) {
  g_object_set_data_full(G_OBJECT(window), work_area_key, new GdkRectangle(area),
                         [](gpointer given) { delete static_cast<GdkRectangle*>(given); });
}

int fitting_height(GtkWindow* window) {
  if (const GdkRectangle* given = given_work_area(window))
    return given->height;
  const GdkRectangle monitor = centring_monitor(window);
  const GdkRectangle area = work_area(window);
  // Twice the monitor's middle: a window centred there reaches as far up as down.
  const int middle2 = 2 * monitor.y + monitor.height;
  return std::max(1, std::min(middle2 - 2 * area.y, 2 * (area.y + area.height) - middle2));
}

void fit_to_work_area(GtkWindow* window, GtkScrolledWindow* scroller) {
  gtk_scrolled_window_set_policy(scroller, GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  // A viewport keeps the size changes of its content to itself; here the window follows them.
  if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(scroller)))
    gtk_container_set_resize_mode(GTK_CONTAINER(child), GTK_RESIZE_PARENT);
  g_signal_connect_after(scroller, "size-request", G_CALLBACK(on_scroller_size_request), nullptr);
  g_signal_connect_object(window, "size-request", G_CALLBACK(on_window_size_request), scroller,
                          G_CONNECT_AFTER);
  g_object_set_data(G_OBJECT(window), fitted_key, scroller);
  gtk_widget_queue_resize(GTK_WIDGET(window));
}

void let_shrink(GtkWidget* widget, int minimumHeight, int heldMinimumHeight) {
  gint width = -1, height = -1;
  gtk_widget_get_size_request(widget, &width, &height);
  // A height request would override what the handler asks for.
  gtk_widget_set_size_request(widget, width, -1);
  g_object_set_data_full(G_OBJECT(widget), shrinkable_key,
                         new Shrinkable{minimumHeight, std::max(0, height - minimumHeight),
                                        std::min(minimumHeight, heldMinimumHeight)},
                         [](gpointer shrinkable) { delete static_cast<Shrinkable*>(shrinkable); });
  g_signal_connect_after(widget, "size-request", G_CALLBACK(on_shrinkable_size_request), nullptr);
  g_signal_connect_after(widget, "size-allocate", G_CALLBACK(on_shrinkable_placed), nullptr);
  gtk_widget_queue_resize(widget);
}

void bring_into_view(GtkWidget* target) { bring_stretch_into_view(target, target); }

void keep_in_view(GtkWidget* part, GtkWidget* last) {
  g_object_set_data(G_OBJECT(part), held_key, last);
  refill(part);
  bring_stretch_into_view(part, last);
  gtk_widget_queue_resize(last);
}

void let_go_of_view(GtkWidget* part) {
  if (g_object_steal_data(G_OBJECT(part), held_key) != nullptr)
    refill(part);
}

} // namespace gtk
