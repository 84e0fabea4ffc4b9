#include "parts/FileSaver.h"

#include "Files.h"
#include "Translation.h"
#include "Win32Process.h"
#include "parts/FileError.h"

#include <utility>

FileSaver::FileSaver(std::string suggestedName, std::string text, GtkWindow* parent)
    : suggestedName(std::move(suggestedName)), text(std::move(text)), parent(parent) {}

bool FileSaver::run() { return save(parent, suggestedName, nullptr, Overwrite::Ask); }

bool FileSaver::accept(GtkWindow* dialog, const char* fileName) {
  if (write_file(fileName, text.data(), text.size())) {
    platform::give_file_to_operator(fileName);
    return true;
  }
  show_file_error(N_("Cannot save file"), fileName, dialog);
  return false;
}
