#include "gtk/CVWStyle.h"

#include "DebugLog.h"
#include "gtk/WidgetName.h"

#include <ostream>

namespace gtk {

namespace {

void on_style_set(GtkWidget* widget, GtkStyle*, gpointer) { use_own_draw_layout(widget); }

} // namespace

void install_style_tweaks(GtkWidget* widget) {
  use_own_draw_layout(widget);
  g_signal_connect(widget, "style-set", G_CALLBACK(on_style_set), nullptr);
}

void use_own_draw_layout(GtkWidget* widget) {
  GtkStyle* style = gtk_widget_get_style(widget);
  if (style != nullptr)
    GTK_STYLE_GET_CLASS(style)->draw_layout = draw_layout;
}

void draw_layout(GtkStyle* style, GdkWindow* window, GtkStateType state, gboolean useText,
                 GdkRectangle* area, GtkWidget*, const gchar*, gint x, gint y,
                 PangoLayout* layout) {
  if (!GTK_IS_STYLE(style)) {
    g_return_if_fail_warning(G_LOG_DOMAIN, G_STRFUNC, "GTK_IS_STYLE(style)");
    return;
  }
  if (window == nullptr) {
    g_return_if_fail_warning(G_LOG_DOMAIN, G_STRFUNC, "window != NULL");
    return;
  }
  GdkGC* gc = useText ? style->text_gc[state] : style->fg_gc[state];
  if (area != nullptr)
    gdk_gc_set_clip_rectangle(gc, area);
  gdk_draw_layout(window, gc, x, y, layout);
  if (area != nullptr)
    gdk_gc_set_clip_rectangle(gc, nullptr);
}

void set_menu_name(GtkWidget* menu) { set_widget_name(menu, "cvw-menu"); }

GtkWidget* attached_menu(GtkWidget* widget) {
  auto* menus = static_cast<GList*>(g_object_get_data(G_OBJECT(widget), "gtk-attached-menus"));
  return menus != nullptr ? GTK_WIDGET(menus->data) : nullptr;
}

void set_combo_popup_name(GtkComboBox* combo) {
  GtkWidget* menu = attached_menu(GTK_WIDGET(combo));
  if (menu == nullptr) {
    debug_log() << "CVWStyle.cpp(46)\n";
    return;
  }
  set_widget_name(menu, "cvw-combobox-popup-menu");
}

} // namespace gtk
