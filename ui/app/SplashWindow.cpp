#include "app/SplashWindow.h"

#include "Files.h"
#include "GLibOwners.h"
#include "Guarded.h"
#include "Locale.h"
#include "ProgramConfig.h"
#include "Strings.h"
#include "gtk/Markup.h"
#include "gtk/WidgetName.h"

#include <gdk/gdkkeysyms.h>

namespace {

// What one run of the window keeps: the target of the open area, the timeout, and whether a
// close has already ended the window's loop.
struct SplashState {
  std::string target;
  Source timer;
  bool closed = false;
};

void close(SplashState& state) {
  state.timer.reset();
  if (state.closed)
    return;
  state.closed = true;
  gtk_main_quit();
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  guarded("SplashWindow.cpp(40)", "SplashWindow.cpp(41)",
          [&] { close(*static_cast<SplashState*>(data)); });
  return TRUE;
}

gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_Escape)
    return FALSE;
  guarded("SplashWindow.cpp(48)", "SplashWindow.cpp(49)",
          [&] { close(*static_cast<SplashState*>(data)); });
  return TRUE;
}

gboolean on_close_area(GtkWidget*, GdkEventButton*, gpointer data) {
  guarded("SplashWindow.cpp(55)", "SplashWindow.cpp(56)",
          [&] { close(*static_cast<SplashState*>(data)); });
  return TRUE;
}

gboolean on_open_area(GtkWidget*, GdkEventButton*, gpointer data) {
  guarded("SplashWindow.cpp(62)", "SplashWindow.cpp(63)",
          [&] { system_open(static_cast<SplashState*>(data)->target); });
  return TRUE;
}

// The areas have no window to draw on, only the input window that the crossing event names.
gboolean on_enter(GtkWidget* area, GdkEventCrossing* event, gpointer) {
  GdkCursor* hand = gdk_cursor_new_for_display(gtk_widget_get_display(area), GDK_HAND2);
  gdk_window_set_cursor(event->window, hand);
  gdk_cursor_unref(hand);
  return TRUE;
}

gboolean on_leave(GtkWidget*, GdkEventCrossing* event, gpointer) {
  gdk_window_set_cursor(event->window, nullptr);
  return TRUE;
}

gboolean on_timeout(gpointer data) {
  auto& state = *static_cast<SplashState*>(data);
  state.timer.forget();
  guarded("SplashWindow.cpp(84)", "SplashWindow.cpp(85)", [&] { close(state); });
  return FALSE;
}

// A clickable area over the picture: it catches the pointer without hiding what lies below.
GtkWidget* add_area(GtkFixed* fixed, const PropertyMap& table, const std::string& prefix,
                    GCallback onPress, SplashState& state) {
  GtkWidget* area = gtk_event_box_new();
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(area), FALSE);
  gtk_widget_set_size_request(area, table.get_number(prefix + " Width", 0),
                              table.get_number(prefix + " Height", 0));
  gtk_fixed_put(fixed, area, table.get_number(prefix + " X", 0),
                table.get_number(prefix + " Y", 0));
  gtk_widget_add_events(area,
                        GDK_BUTTON_PRESS_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
  g_signal_connect(area, "button-press-event", onPress, &state);
  g_signal_connect(area, "enter-notify-event", G_CALLBACK(on_enter), &state);
  g_signal_connect(area, "leave-notify-event", G_CALLBACK(on_leave), &state);
  return area;
}

} // namespace

std::string splash_markup(const std::string& format, const std::string& value) {
  std::string markup;
  bool substituted = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        markup += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == 's' && !substituted) {
        markup += gtk::escape_markup(value);
        substituted = true;
        ++i;
        continue;
      }
    }
    markup += format[i];
  }
  return markup;
}

void show_splash(GtkWindow* parent, SplashUse use) {
  const config::Value& configuration = program_config();
  PropertyMap table;
  copy_config_string(configuration, table, "Program Name");
  copy_config_string(configuration, table, "Program Revision");
  table.set_string("Splash Image",
                   Locale::instance().path(configuration.get_string("Splash Image")),
                   PropertyMap::Existing::Replace);
  copy_config_string(configuration, table, "Splash Text Variable");
  copy_config_string(configuration, table, table.get("Splash Text Variable").c_str());
  copy_config_string(configuration, table, "Splash Text Format");
  for (const char* key :
       {"Splash Text Area X", "Splash Text Area Y", "Splash Text Area Width",
        "Splash Text Area Height", "Splash Text X Alignment", "Splash Text Y Alignment"})
    copy_config_number(configuration, table, key);
  copy_config_string(configuration, table, "Splash Open Variable");
  copy_config_string(configuration, table, table.get("Splash Open Variable").c_str());
  for (const char* key : {"Splash Open Area X", "Splash Open Area Y", "Splash Open Area Width",
                          "Splash Open Area Height", "Splash Close Area X", "Splash Close Area Y",
                          "Splash Close Area Width", "Splash Close Area Height"})
    copy_config_number(configuration, table, key);
  if (use == SplashUse::StartUp)
    copy_config_number(configuration, table, "Splash Timeout");
  run_splash_window(parent, table);
}

void run_splash_window(GtkWindow* parent, const PropertyMap& table) {
  SplashState state;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk::set_widget_name(window, "SplashWindow");
  if (parent != nullptr)
    gtk_window_set_transient_for(GTK_WINDOW(window), parent);
  gtk_window_set_modal(GTK_WINDOW(window), TRUE);
  gtk_window_set_title(GTK_WINDOW(window), valid_utf8(table.get("Program Name")).c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), &state);
  g_signal_connect(window, "key-press-event", G_CALLBACK(on_key_press), &state);

  GtkFixed* fixed = GTK_FIXED(gtk_fixed_new());
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(fixed));
  gtk_fixed_put(fixed, gtk_image_new_from_file(table.get("Splash Image").c_str()), 0, 0);

  gtk::set_widget_name(
      add_area(fixed, table, "Splash Close Area", G_CALLBACK(on_close_area), state), "close");

  const std::string& textVariable = table.get("Splash Text Variable");
  if (!textVariable.empty()) {
    GtkWidget* label = gtk_label_new(nullptr);
    gtk::set_widget_name(label, "text");
    gtk_label_set_markup(
        GTK_LABEL(label),
        splash_markup(table.get("Splash Text Format"), table.get(textVariable)).c_str());
    gtk_misc_set_alignment(GTK_MISC(label),
                           table.get_number("Splash Text X Alignment", 50) / 100.0f,
                           table.get_number("Splash Text Y Alignment", 50) / 100.0f);
    gtk_fixed_put(fixed, label, table.get_number("Splash Text Area X", 0),
                  table.get_number("Splash Text Area Y", 0));
    gtk_widget_set_size_request(label, table.get_number("Splash Text Area Width", 0),
                                table.get_number("Splash Text Area Height", 0));
  }

  const std::string& openVariable = table.get("Splash Open Variable");
  if (!openVariable.empty()) {
    state.target = table.get(openVariable);
    gtk::set_widget_name(
        add_area(fixed, table, "Splash Open Area", G_CALLBACK(on_open_area), state), "open");
  }

  const int timeout = table.get_number("Splash Timeout", 0);
  if (timeout > 0)
    state.timer.reset(g_timeout_add(static_cast<guint>(timeout), on_timeout, &state));

  gtk_widget_show_all(window);
  gtk_main();
  state.timer.reset();
  gtk_widget_destroy(window);
}
