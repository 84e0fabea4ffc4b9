#include "Notice.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <clocale>
#include <iostream>

void use_catalogues(const std::string& programDirectory) {
  std::setlocale(LC_ALL, "");
  const std::string folder = programDirectory + "/lib/locale";
  bindtextdomain("CVW", folder.c_str());
  bind_textdomain_codeset("CVW", "UTF-8");
  textdomain("CVW");
}

std::string elevation_failure_text(Elevation elevation, const std::string& program) {
  const char* text = nullptr;
  switch (elevation) {
  case Elevation::NoPkexec:
    text = gettext("%1 needs administrator rights to reach the drives, and pkexec, which asks "
                   "for them, is not installed.\n\nInstall pkexec (polkit), or start %1 as root, "
                   "for example with sudo.");
    break;
  case Elevation::Dismissed:
    text = gettext("%1 was not started: the request for administrator rights was cancelled.");
    break;
  case Elevation::Refused:
    text = gettext("%1 was not started: administrator rights were not granted.");
    break;
  case Elevation::Ran:
  case Elevation::Failed: text = gettext("%1 was not started: pkexec could not be run."); break;
  }
  std::string result = text;
  for (std::size_t at = result.find("%1"); at != std::string::npos;
       at = result.find("%1", at + program.size()))
    result.replace(at, 2, program);
  return result;
}

namespace {

GtkWidget* notice_dialog(const std::string& text) {
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), gettext("Error"));
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  return dialog;
}

} // namespace

void tell_operator(const std::string& text) {
  std::cerr << text << std::endl;
  if (!gtk_init_check(nullptr, nullptr))
    return;
  GtkWidget* dialog = notice_dialog(text);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}
