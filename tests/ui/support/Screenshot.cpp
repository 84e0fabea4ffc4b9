#include "Screenshot.h"

#include "GuiEnvironment.h"

#include <filesystem>
#include <stdexcept>

#ifndef CVW_SCREENSHOT_DIR
#error "the build supplies CVW_SCREENSHOT_DIR"
#endif

std::string screenshot_folder() { return CVW_SCREENSHOT_DIR; }

ObjectRef<GdkPixbuf> picture_of(GtkWidget* widget) {
  flush_events();
  GdkPixmap* pixmap = gtk_widget_get_snapshot(widget, nullptr);
  if (pixmap == nullptr)
    throw std::runtime_error("no picture: the widget is not shown");
  gint width = 0;
  gint height = 0;
  gdk_drawable_get_size(GDK_DRAWABLE(pixmap), &width, &height);
  GdkPixbuf* picture =
      gdk_pixbuf_get_from_drawable(nullptr, pixmap, nullptr, 0, 0, 0, 0, width, height);
  g_object_unref(pixmap);
  if (picture == nullptr)
    throw std::runtime_error("no picture: it cannot be read back");
  return ObjectRef<GdkPixbuf>::adopt(picture);
}

std::string save_screenshot(GtkWidget* widget, const std::string& name) {
  const ObjectRef<GdkPixbuf> picture = picture_of(widget);
  std::filesystem::create_directories(screenshot_folder());
  const std::string& language = test_language();
  const std::string path =
      screenshot_folder() + "/" + name + (language.empty() ? "" : "-" + language) + ".png";
  GError* error = nullptr;
  const gboolean saved = gdk_pixbuf_save(picture.get(), path.c_str(), "png", &error, nullptr);
  if (!saved) {
    const std::string reason = error != nullptr ? error->message : "";
    if (error != nullptr)
      g_error_free(error);
    throw std::runtime_error("cannot save " + path + ": " + reason);
  }
  return path;
}

GtkWidget* show_in_window(GtkWidget* child, const char* windowName, int border) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, windowName);
  gtk_container_set_border_width(GTK_CONTAINER(window), static_cast<guint>(border));
  gtk_container_add(GTK_CONTAINER(window), child);
  gtk_widget_show(child);
  gtk_widget_show(window);
  flush_events();
  return window;
}
