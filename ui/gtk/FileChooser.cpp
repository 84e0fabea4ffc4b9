#include "gtk/FileChooser.h"

#include "Translation.h"
#include "Win32Process.h"
#include "gtk/WidgetName.h"
#include "gtk/WidgetRef.h"

namespace gtk {

namespace {

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

// The chosen file in UTF-8; "" when none (nothing chosen, or no local file).
std::string chosen_file(GtkFileChooser* chooser) {
  gchar* name = gtk_file_chooser_get_filename(chooser);
  if (name == nullptr)
    return std::string();
  gchar* utf8 = g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr);
  g_free(name);
  return take(utf8);
}

std::string& last_accepted_folder() {
  static std::string folder;
  return folder;
}

// Where a chooser without a folder of its own opens: the last folder, while it is there.
std::string starting_folder() {
  const std::string& last = last_accepted_folder();
  if (!last.empty() && g_file_test(last.c_str(), G_FILE_TEST_IS_DIR))
    return last;
  return platform::operator_account().home;
}

} // namespace

const std::string& FileChooser::last_folder() { return last_accepted_folder(); }

bool FileChooser::accept(GtkWindow*, const char*) { return true; }

bool FileChooser::save(GtkWindow* parent, const std::string& suggestedName, const char* title,
                       Overwrite overwrite) {
  return run(parent, title != nullptr ? title : gettext("Save File"), GTK_FILE_CHOOSER_ACTION_SAVE,
             &suggestedName, overwrite == Overwrite::Ask);
}

bool FileChooser::open(GtkWindow* parent, const char* title) {
  return run(parent, title != nullptr ? title : gettext("Open File"), GTK_FILE_CHOOSER_ACTION_OPEN,
             nullptr, false);
}

bool FileChooser::run(GtkWindow* parent, const char* title, GtkFileChooserAction action,
                      const std::string* suggestedName, bool confirmOverwrite) {
  const bool saving = action == GTK_FILE_CHOOSER_ACTION_SAVE;
  // Destroyed on every way out, an exception of the hook included.
  WidgetRef dialog(gtk_file_chooser_dialog_new(
      title, parent, action, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
      saving ? GTK_STOCK_SAVE : GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr));
  set_accessible_id(dialog.get(), saving ? "save-file" : "open-file");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog.get());
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog.get()), GTK_RESPONSE_ACCEPT,
                                          GTK_RESPONSE_CANCEL, -1);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_ACCEPT);
  gtk_file_chooser_set_local_only(chooser, FALSE);
  const std::string start = folder_.empty() ? starting_folder() : folder_;
  if (!start.empty()) {
    gchar* folder = g_filename_from_utf8(start.c_str(), -1, nullptr, nullptr, nullptr);
    if (folder != nullptr)
      gtk_file_chooser_set_current_folder(chooser, folder);
    g_free(folder);
  }
  if (saving) {
    gtk_file_chooser_set_current_name(chooser, suggestedName->c_str());
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, confirmOverwrite);
  }

  for (;;) {
    if (gtk_dialog_run(GTK_DIALOG(dialog.get())) != GTK_RESPONSE_ACCEPT)
      return false;
    const std::string name = chosen_file(chooser);
    if (name.empty() || !accept(GTK_WINDOW(dialog.get()), name.c_str()))
      continue;
    folder_ = take(g_path_get_dirname(name.c_str()));
    fileName_ = name;
    last_accepted_folder() = folder_;
    return true;
  }
}

} // namespace gtk
