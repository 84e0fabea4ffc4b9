// Keeps the wipe history in its file while the program runs. The history saves itself after
// each finished wipe (MainLog::keep_in), so that a crash, a kill or a shutdown loses no wipe;
// this tells the operator, in an error box that names the file, when a save fails: once, and
// again only after a save has succeeded in between. The box opens from the main loop, never
// from inside the wipe's own notification. A history that was refused (see HistoryFile) is
// told once, at start, and never saved.
#pragma once

#include "GLibOwners.h"
#include "MainLog.h"

#include <gtk/gtk.h>

#include <string>

class HistoryKeeper : public MainLog::SaveWatch {
public:
  // Keeps `log` in `file`; boxes open over `window` (may be null).
  HistoryKeeper(MainLog& log, const GuardedFile& file, GtkWindow* window);
  // `log` keeps itself in no file any more.
  ~HistoryKeeper() override;
  HistoryKeeper(const HistoryKeeper&) = delete;
  HistoryKeeper& operator=(const HistoryKeeper&) = delete;

  // Tells the operator, in an error box that names the file and why, when the history was
  // refused, or when the file cannot be written now (its folder takes no new file, or it is no
  // regular file), so that nobody learns it only at the end. Changes nothing. Returns whether
  // it can be written.
  bool tell_if_unwritable();
  // Saves at once; a failure is told as after a wipe. Returns whether it was saved.
  bool save_now();
  // The save as the program ends. With `tell`, a failure is told at once, whatever was told
  // before: the wipes of the session are lost from the file. Returns whether it was saved.
  bool save_at_exit(bool tell);

  void saved(const std::string& path, bool saved) override;

private:
  static gboolean on_tell(gpointer self);

  MainLog& log;
  std::string path;
  // The history was refused: told at start, and nothing is ever written.
  bool refused;
  GtkWindow* window;
  // The last save failed, and that has been told or is about to be.
  bool failing = false;
  Source telling;
};
