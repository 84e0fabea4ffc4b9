#include "app/DesktopInit.h"

#include "Settings.h"
#include "app/Program.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/Toolkit.h"

#include <gtk/gtk.h>

bool DesktopInitSteps::load_settings(const std::string& directory, const std::string& path) {
  Settings::set_directory(directory);
  Settings loaded;
  if (loaded.load(path.c_str())) {
    Settings::instance() = loaded;
    return true;
  }
  if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS) ||
      g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK))
    unusableSettings = path;
  return false;
}

void DesktopInitSteps::add_resource_file(const std::string& directory) {
  gtk::set_resource_directory(directory);
  gtk_rc_add_default_file(gtk::join_path(directory, "gtkrc-2.0").c_str());
}

bool DesktopInitSteps::init_toolkit(int& argc, char**& argv) {
  toolkitStarted = gtk::init_toolkit(argc, argv);
  return toolkitStarted;
}

void DesktopInitSteps::set_theme(const std::string& name) {
  g_object_set(gtk_settings_get_default(), "gtk-theme-name", name.c_str(), nullptr);
}

void DesktopInitSteps::set_window_icons(const PropertyMap& icons) {
  set_default_window_icons(icons);
}
