// The message of a file that could not be written or read.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Shows the error box with `message` (translated here) and, on the next line, `path` as it is,
// over `parent`.
void show_file_error(const char* message, const std::string& path, GtkWindow* parent);
