// Saving a text the operator sees (a log, an export of the history) to a file of their choice.
#pragma once

#include "gtk/FileChooser.h"

#include <string>

class FileSaver : public gtk::FileChooser {
public:
  // Offers to save `text` as `suggestedName` over `parent`.
  FileSaver(std::string suggestedName, std::string text, GtkWindow* parent);

  // Runs the save dialog (asking before a file is replaced). Returns true when the text was
  // written; false when the operator cancelled.
  bool run();

  // Writes the text to `fileName` (which, in the operator's folders, then belongs to the
  // operator); when it cannot, says so over `dialog` and returns false, so that the operator can
  // choose another file.
  bool accept(GtkWindow* dialog, const char* fileName) override;

private:
  std::string suggestedName;
  std::string text;
  GtkWindow* parent;
};
