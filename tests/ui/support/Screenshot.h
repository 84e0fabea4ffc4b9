// Pictures of widgets, for looking at what a window really shows.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "GLibOwners.h"

// What `widget` shows now, after every pending event; throws std::runtime_error when it gives
// no picture (hidden, or not realised).
ObjectRef<GdkPixbuf> picture_of(GtkWidget* widget);

// The folder the pictures go to: "screenshots" in the build folder.
std::string screenshot_folder();

// Draws `widget` (shown, in a realised window) after handling every pending event and saves it
// as <screenshot_folder>/<name>.png (<name>-<language>.png in a run in another language, see
// test_language); returns the path. Throws std::runtime_error when the widget
// gives no picture (it is hidden or not realised) or the file cannot be written.
std::string save_screenshot(GtkWidget* widget, const std::string& name);

// Shows `child` (but none of its hidden children) alone in a new top-level window named
// `windowName` (so the resource file styles it as inside that window), with `border` pixels around
// it. The caller destroys the window.
GtkWidget* show_in_window(GtkWidget* child, const char* windowName, int border = 12);
