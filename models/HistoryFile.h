// Where the wipe history is kept: "WipeLog.cfg" in the program folder, or, when an administrator
// made that a symbolic link (to share one history among program folders, say), the file it
// leads to. Only that one link is followed, once: the file it leads to must be no link itself
// and lie in a folder that no user but root and the program's own may change, along a way that
// no other user may change either (a guarded walk, see GuardedFile). Otherwise the history is
// refused: it has no folder, its reason says why, and nothing is read from it or written to it.
// Every read, save and rename names the file in its folder, opened once here, so that a link
// swapped in later redirects none of them.
#pragma once

#include "GuardedFile.h"

#include <string>

class HistoryFile {
public:
  // The name of the history in the program folder.
  static constexpr const char* name = "WipeLog.cfg";

  // The history `file` (by default "WipeLog.cfg") of the program folder `folder` (its real path,
  // taken as it is: whoever may change it may change the program itself).
  explicit HistoryFile(const std::string& folder, const std::string& file = name);

  // The file the history is read from and saved to. Refused (no folder) with a reason that names
  // the file the link leads to, its path that of the name in the program folder.
  const GuardedFile& file() const { return file_; }
  // The name in the program folder: the link itself when there is one.
  const GuardedFile& place() const { return place_; }
  // Whether the name in the program folder is a link.
  bool linked() const { return linked_; }
  bool refused() const { return !file_.has_folder(); }

  // Renames what stands at the name in the program folder (the link, when there is one: the file
  // it leads to, which others may share, stays as it is) to `keptAs`, a name in the same folder;
  // from then on the history is kept in the program folder itself. False, with errno set, when
  // it cannot.
  bool keep_aside(const std::string& keptAs);

private:
  GuardedFile place_;
  GuardedFile file_;
  bool linked_ = false;
};
