#include "Notice.h"

#include "Format.h"

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

std::string elevation_failure_text(const ElevationOutcome& outcome, const std::string& program) {
  const char* what = nullptr;
  const char* advice = nullptr;
  switch (outcome.elevation) {
  case Elevation::NoPkexec:
    // pkexec's absence needs no words of GLib's.
    return format(gettext("%1 needs administrator rights to reach the drives, and pkexec, which "
                          "asks for them, is not installed.\n\nInstall pkexec (polkit), or start "
                          "%1 as root, for example with sudo."),
                  program);
  case Elevation::Dismissed:
    what = gettext("%1 was not started: the request for administrator rights was cancelled.");
    advice = gettext("Start %1 again to be asked once more.");
    break;
  case Elevation::NoAgent: {
    // What to do comes before pkexec's words, which name what is missing only to those who
    // know polkit.
    std::string text =
        format(gettext("%1 was not started: it needs administrator rights, and this desktop runs "
                       "no program that asks for the administrator's password (a polkit "
                       "authentication agent)."),
               program) +
        "\n\n" +
        format(gettext("Start %1 from a desktop session that asks for passwords, or start a polkit "
                       "authentication agent in this one and start %1 again, or start %1 as "
                       "root, for example with sudo from a terminal."),
               program);
    if (!outcome.reason.empty())
      text += "\n\n" + format(gettext("pkexec said: %1"), outcome.reason);
    return text;
  }
  case Elevation::Refused:
    what = gettext("%1 was not started: administrator rights were not granted.");
    advice = gettext("Start %1 on the desktop of a user who may administer this computer, whose "
                     "authentication agent asks for the password, or ask an administrator to "
                     "start it.");
    break;
  case Elevation::Ran:
  case Elevation::Failed:
    what = gettext("%1 was not started: pkexec could not be run.");
    advice = gettext("Install pkexec (polkit) again: it must belong to root and run with its "
                     "rights.");
    break;
  }
  std::string text = format(what, program);
  if (!outcome.reason.empty())
    text += "\n\n" + format(gettext("pkexec said: %1"), outcome.reason);
  return text + "\n\n" + format(advice, program);
}

std::string unknown_launcher_text(const std::string& launcher) {
  return format(gettext("%1 does not know which program to open. Named wipelaunch it opens "
                        "wipedesk beside it; named \"NAME Start\" it opens NAME beside it."),
                launcher);
}

std::string missing_program_text(const std::string& program) {
  return format(gettext("%1 cannot be started: it is not there.\n\nThe launcher opens the "
                        "program that lies beside it; install the program again."),
                program);
}

std::string unopened_program_text(const std::string& program) {
  return format(gettext("%1 could not be started."), program);
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
