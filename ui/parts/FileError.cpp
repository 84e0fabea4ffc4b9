#include "parts/FileError.h"

#include "Translation.h"
#include "gtk/MessageBox.h"

void show_file_error(const char* message, const std::string& path, GtkWindow* parent) {
  gtk::message_box(gtk::MessageKind::Error, std::string(gettext(message)) + "\n" + path, parent);
}
