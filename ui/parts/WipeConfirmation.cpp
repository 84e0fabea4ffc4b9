#include "parts/WipeConfirmation.h"

#include "DebugLog.h"
#include "Format.h"
#include "MainLog.h"
#include "ProgramConfig.h"
#include "Strings.h"
#include "Translation.h"
#include "gtk/MessageBox.h"
#include "parts/DriveHeader.h"

namespace {

// The drives a question names one by one; of a longer list, one line fewer and the count of
// the rest.
constexpr std::size_t named_drives = 5;

} // namespace

std::string drives_to_wipe_text(const std::vector<Drive>& drives) {
  const auto count = static_cast<unsigned long>(drives.size());
  std::string text = format(
      ngettext("This operation will wipe %1 drive.", "This operation will wipe %1 drives.", count),
      std::to_string(count));
  const std::size_t named = count > named_drives ? named_drives - 1 : count;
  for (std::size_t i = 0; i < named; ++i) {
    const Drive& drive = drives[i];
    text += "\n    " + valid_utf8(drive_header_line(drive) + " (" +
                                  format_size(drive.sectors() * drive.sector_size()) + ")");
  }
  if (named < count) {
    const auto rest = static_cast<unsigned long>(count - named);
    text += "\n    " +
            format(ngettext("and %1 more drive", "and %1 more drives", rest), std::to_string(rest));
  }
  return text;
}

#include <ostream>

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

bool confirm_unrecorded_wipe(GtkWidget* parent) {
  const MainLog& history = MainLog::instance();
  std::string why;
  if (history.can_save_kept(why))
    return true;
  debug_log() << "WipeConfirmation.cpp(44): " << history.kept_in() << ": " << why << "\n";
  const std::string question =
      format(gettext("The wipe log %1 cannot be written: %2.\n\nThis wipe will not be recorded "
                     "in it."),
             history.kept_in(), why) +
      "\n\n" + gettext("Are you sure you want to continue?");
  return gtk::message_box(gtk::MessageKind::Warning, question, gtk::window_of(parent),
                          gtk::DefaultButton::No) == gtk::answer_yes;
}
