// The base of every file open and save of the program: a GTK file chooser run until the accept
// hook takes the chosen file. A subclass loads or saves in the hook; when that fails it shows
// its own message over the chooser and returns false, and the chooser stays open for another
// choice. The accepted file name and its folder are remembered for the next dialog.
//
// A chooser whose folder was not set opens in the folder of the last file that any chooser of
// the program accepted, else in the home folder of the operator who started the program (under
// pkexec, the user who asked for the rights, not root).
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace gtk {

class FileChooser {
public:
  virtual ~FileChooser() = default;

  // What a save dialog does when the chosen file exists.
  enum class Overwrite { Ask, Silently };

  // A save dialog over `parent` suggesting `suggestedName`, titled `title` (null: "Save File"),
  // asking before an existing file is replaced unless `overwrite` says otherwise. Returns true
  // when a file was accepted; false when the dialog was cancelled or closed, leaving the
  // remembered name and folder as they were.
  bool save(GtkWindow* parent, const std::string& suggestedName, const char* title,
            Overwrite overwrite);

  // An open dialog over `parent`, titled `title` (null: "Open File"); returns as save does.
  bool open(GtkWindow* parent, const char* title);

  // Called with the chooser dialog (for message boxes over it) and the chosen file (UTF-8).
  // Returns true to end the dialog with that file, false to keep it open. This one takes every
  // file.
  virtual bool accept(GtkWindow* dialog, const char* fileName);

  // The last accepted file, "" at first.
  const std::string& file_name() const { return fileName_; }
  // The folder the next dialog starts in: the last accepted file's, or the one set; "" for
  // the program's last one, or the operator's home.
  const std::string& folder() const { return folder_; }
  void set_folder(const std::string& folder) { folder_ = folder; }

  // The folder of the last file that any chooser accepted; "" before the first.
  static const std::string& last_folder();

private:
  bool run(GtkWindow* parent, const char* title, GtkFileChooserAction action,
           const std::string* suggestedName, bool confirmOverwrite);

  std::string fileName_;
  std::string folder_;
};

} // namespace gtk
