// Fills the pattern entry of the wipe options from the first bytes of a file the operator
// chooses: the entry then shows them in the pattern's text form.
#pragma once

#include "gtk/FileChooser.h"

#include <gtk/gtk.h>

#include <cstdint>

class PatternFileChooser : public gtk::FileChooser {
public:
  // Opens over `parent` and fills `entry` with at most `maxBytes` bytes of the chosen file.
  PatternFileChooser(GtkWindow* parent, GtkEntry* entry, std::uint32_t maxBytes);

  // Runs the open dialog ("Open File"). Returns true when a file filled the entry.
  bool run();

  // Reads the file into the entry and returns true. A file that cannot be opened or read, or
  // a path that names no regular file (a pipe, a device, a folder), is reported over `dialog`,
  // the entry is left as it was, and the chooser stays open for another file.
  bool accept(GtkWindow* dialog, const char* fileName) override;

private:
  GtkWindow* parentWindow;
  GtkEntry* entry;
  std::uint32_t maxBytes;
};
