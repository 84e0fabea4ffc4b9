#include "SettingsUI/SettingsUI.h"

#include "FileError.h"
#include "Translation.h"
#include "gtk/MessageBox.h"
#include "gtk/ResourceDirectory.h"

void offer_to_save_settings(const Settings& settings, GtkWindow* parent) {
  if (gtk::message_box(gtk::MessageKind::Question, gettext("Do you want to save settings now?"),
                       parent) != gtk::answer_yes)
    return;
  const std::string path = gtk::join_path(Settings::directory(), "settings.cfg");
  if (!settings.save(path.c_str()))
    show_file_error(N_("Cannot save settings file"), path, parent);
}
