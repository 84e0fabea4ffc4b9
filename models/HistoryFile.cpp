#include "HistoryFile.h"

#include "Format.h"
#include "Translation.h"

#include <glib.h>

HistoryFile::HistoryFile(const std::string& folder, const std::string& file)
    : place_(GuardedFile::in_folder(folder, file)), file_(place_) {
  std::string target;
  if (!place_.has_folder() || read_link_at(place_.folder(), file.c_str(), target) != 0)
    return; // no link: the file itself, or none yet
  linked_ = true;
  const std::string path =
      g_path_is_absolute(target.c_str()) ? target : folder + G_DIR_SEPARATOR_S + target;
  const GuardedFile behind = GuardedFile::guarded(path, Trust::ProgramsOwn);
  if (!behind.has_folder())
    file_ = GuardedFile::refused(place_.path(),
                                 format(gettext("it leads to %1: %2"), path, behind.reason()));
  else if (behind.standing() == Standing::Link)
    file_ = GuardedFile::refused(place_.path(),
                                 format(gettext("it leads to %1, which is a link itself"), path));
  else
    file_ = behind;
}

bool HistoryFile::keep_aside(const std::string& keptAs) {
  if (!place_.rename(keptAs))
    return false;
  file_ = place_;
  linked_ = false;
  return true;
}
