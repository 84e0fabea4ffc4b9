#include "gtk/WorkArea.h"

#include <algorithm>
#include <vector>

namespace gtk {

namespace {

constexpr const char* work_area_key = "cvw-work-area";

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

void on_window_size_request(GtkWidget* window, GtkRequisition* requisition, gpointer scroller) {
  if (gtk_widget_get_toplevel(GTK_WIDGET(scroller)) != window)
    return;
  const int limit = fitting_height(GTK_WINDOW(window));
  if (requisition->height <= limit)
    return;
  requisition->height = limit;
  GtkRequisition bar;
  gtk_widget_get_child_requisition(
      gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(scroller)), &bar);
  gint spacing = 0;
  gtk_widget_style_get(GTK_WIDGET(scroller), "scrollbar-spacing", &spacing, nullptr);
  requisition->width += bar.width + spacing;
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
  gtk_widget_queue_resize(GTK_WIDGET(window));
}

} // namespace gtk
