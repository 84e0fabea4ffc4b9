// The steps of start-up that belong to the desktop program: its user settings, its resource
// folder and GTK resource file, GTK itself, the theme and the window icons.
#pragma once

#include "ProgramInit.h"

class DesktopInitSteps : public ProgramInitSteps {
public:
  // Settings that cannot be loaded leave the user settings at their defaults, not half loaded.
  bool load_settings(const std::string& directory, const std::string& path) override;
  void add_resource_file(const std::string& directory) override;
  bool init_toolkit(int& argc, char**& argv) override;
  void set_theme(const std::string& name) override;
  void set_window_icons(const PropertyMap& icons) override;

  // The settings file that stands in the program folder but could not be loaded; empty when it
  // loaded or there is none (a first run).
  const std::string& unusable_settings() const { return unusableSettings; }
  // Whether GTK has started, so that a box can be shown.
  bool toolkit_started() const { return toolkitStarted; }

private:
  std::string unusableSettings;
  bool toolkitStarted = false;
};
