// Starting GTK for a benchmark of the desktop program's widgets: the program's own data files
// and resource file, the program's name.
#pragma once

#include "gtk/ResourceDirectory.h"
#include "gtk/Toolkit.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>

// Returns false, after saying why, when there is no display to work on.
inline bool start_gui(int& argc, char**& argv) {
  const std::string lib = std::string(CVW_PROGRAM_DIR) + "/lib";
  gtk::set_resource_directory(lib);
  gtk_rc_add_default_file((lib + "/gtkrc-2.0").c_str());
  if (!gtk::init_toolkit(argc, argv)) {
    std::printf("no display: run it with a display, or through ./dev bench\n");
    return false;
  }
  return true;
}

// Handles every pending event.
inline void handle_events() {
  while (gtk_events_pending())
    gtk_main_iteration_do(FALSE);
}
