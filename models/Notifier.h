// Plays the sound for a failed or a finished wipe, once or repeated at a fixed period, as the
// user settings choose.
//
// It plays nothing itself: it starts the sound player "tonlet" of the program directory with
// the full path of the sound file as its one argument. A new play ends a player still running;
// so does destroying the notifier.
#pragma once

#include "Process.h"
#include "Settings.h"

#include <glib.h>

#include <string>

class Notifier {
public:
  // What is notified; the numbers are the design's.
  enum class Kind : int {
    None = 0,  // ends a repetition
    Error = 1, // a wipe failed
    Done = 2,  // a wipe finished
  };

  // Reads the sound choices from `settings` (not owned) at each notification. The program
  // directory is the program configuration's "Program Path"; throws config::Value::Exception
  // when it is missing or not a String.
  explicit Notifier(Settings* settings);
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;
  // Ends the repetition and a player still running.
  ~Notifier();

  // Ends a repetition, then plays the sound of `kind` when that kind is on and names a file
  // (a name inside the program directory): once now, and again every period seconds when its
  // period is above 0, until the next notify or stop. A player that cannot be started leaves
  // one debug-log line per attempt.
  void notify(Kind kind);
  // Ends the repetition; a player still running plays on.
  void stop();

private:
  void play();
  static gboolean on_repeat(gpointer self);

  Settings* settings;
  std::string directory;
  std::string playerPath;
  std::string soundPath;
  Process process;
  // The repeat timer's source id; 0 when there is none.
  guint timer = 0;
};
