#include "parts/WipeConfirmation.h"

#include "Format.h"
#include "ProgramConfig.h"
#include "Translation.h"
#include "gtk/MessageBox.h"

std::string drive_warning_text(const Drive& drive) {
  return format(gettext("%1 / %2 is a %3"), drive.model(), drive.serial(), drive.warning());
}

bool confirm_wipe(const std::string& text, const std::string& warnings, GtkWidget* parent) {
  GtkWindow* window = gtk::window_of(parent);
  if (!warnings.empty()) {
    bool stop = true;
    program_config()["wipe"].get("stop at drive warning", stop);
    if (stop) {
      gtk::message_box(gtk::MessageKind::Error, warnings + "\n\n" + gettext("Wipe is not allowed."),
                       window);
      return false;
    }
  }
  std::string question = text;
  if (!warnings.empty()) {
    if (!question.empty())
      question += "\n\n";
    question += warnings;
  }
  if (!question.empty())
    question += "\n\n";
  question += gettext("Are you sure you want to continue?");
  return gtk::message_box(gtk::MessageKind::Warning, question, window, gtk::DefaultButton::No) ==
         gtk::answer_yes;
}
