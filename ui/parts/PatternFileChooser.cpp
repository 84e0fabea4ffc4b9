#include "parts/PatternFileChooser.h"

#include "FillPattern.h"
#include "Translation.h"
#include "gtk/MessageBox.h"

#include <string>

PatternFileChooser::PatternFileChooser(GtkWindow* parent, GtkEntry* entry, std::uint32_t maxBytes)
    : parentWindow(parent), entry(entry), maxBytes(maxBytes) {}

bool PatternFileChooser::run() { return open(parentWindow, nullptr); }

bool PatternFileChooser::accept(GtkWindow* dialog, const char* fileName) {
  std::string pattern;
  switch (read_pattern_file(fileName, maxBytes, pattern)) {
  case PatternFileStatus::CannotOpen:
    gtk::message_box(gtk::MessageKind::Error, gettext("Cannot open file"), dialog);
    return false;
  case PatternFileStatus::NotAFile:
    gtk::message_box(
        gtk::MessageKind::Error,
        gettext("Not a regular file: a pattern can be read from an ordinary file only"), dialog);
    return false;
  case PatternFileStatus::CannotRead:
    gtk::message_box(gtk::MessageKind::Error, gettext("Cannot read file"), dialog);
    return false;
  case PatternFileStatus::Read: break;
  }
  gtk_entry_set_text(entry, pattern_to_text(pattern).c_str());
  return true;
}
