#include "SettingsUI/SettingsUI.h"

#include "Compressed.h"
#include "Guarded.h"
#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "Translation.h"
#include "Win32Process.h"
#include "WipeOptionsUI/WipeOptionsUI.h"
#include "app/DebugSinks.h"
#include "gtk/Builder.h"
#include "gtk/FileChooser.h"
#include "gtk/MessageBox.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/WidgetName.h"
#include "parts/DialogPlacement.h"
#include "parts/FileError.h"

#include <stdexcept>

namespace {

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

// Loads into a scratch copy and keeps it only when the whole file was taken, so that a file
// that fails half-way leaves the dialog's settings as they were.
class SettingsLoader : public gtk::FileChooser {
public:
  explicit SettingsLoader(Settings& settings) : settings(settings) {}
  bool accept(GtkWindow* dialog, const char* fileName) override {
    Settings loaded = settings;
    if (!loaded.load(fileName)) {
      show_file_error(N_("Cannot load settings file"), fileName, dialog);
      return false;
    }
    settings = loaded;
    return true;
  }

private:
  Settings& settings;
};

class SettingsSaver : public gtk::FileChooser {
public:
  explicit SettingsSaver(const Settings& settings) : settings(settings) {}
  bool accept(GtkWindow* dialog, const char* fileName) override {
    if (settings.save(fileName)) {
      platform::give_file_to_operator(fileName);
      return true;
    }
    show_file_error(N_("Cannot save settings file"), fileName, dialog);
    return false;
  }

private:
  const Settings& settings;
};

class DebugSaver : public gtk::FileChooser {
public:
  bool accept(GtkWindow* dialog, const char* fileName) override {
    if (debug_sink_name() != "ostringstream")
      throw std::runtime_error("SettingsUI.cpp(126)");
    const std::string text = debug_log_text();
    if (save_compressed(fileName, text.data(), static_cast<std::uint32_t>(text.size()))) {
      platform::give_file_to_operator(fileName);
      return true;
    }
    show_file_error(N_("Cannot save file"), fileName, dialog);
    return false;
  }
};

} // namespace

SettingsUI::SettingsUI(const std::vector<Drive>& drives, GtkWindow* parent)
    : drives(drives), notifier(&settings) {
  gtk::Builder ui("SettingsUI/SettingsUI.ui");
  dialog.reset(GTK_WIDGET(ui.get<GtkDialog>("dialog", GTK_TYPE_DIALOG)));
  gtk::set_widget_name(dialog.get(), "SettingsUI");
  place_dialog(GTK_WINDOW(dialog.get()), parent);
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog.get()), GTK_RESPONSE_OK,
                                          GTK_RESPONSE_CANCEL, -1);

  notifierErrorOn = ui.get<GtkToggleButton>("notifierErrorOn", GTK_TYPE_TOGGLE_BUTTON);
  notifierErrorPeriod = ui.get<GtkSpinButton>("notifierErrorPeriod", GTK_TYPE_SPIN_BUTTON);
  notifierErrorTest = ui.widget("notifierErrorTest");
  notifierDoneOn = ui.get<GtkToggleButton>("notifierDoneOn", GTK_TYPE_TOGGLE_BUTTON);
  notifierDonePeriod = ui.get<GtkSpinButton>("notifierDonePeriod", GTK_TYPE_SPIN_BUTTON);
  notifierDoneTest = ui.widget("notifierDoneTest");
  exportCsvEntry = ui.get<GtkEntry>("exportCsvEntry", GTK_TYPE_ENTRY);
  exportTxtEntry = ui.get<GtkEntry>("exportTxtEntry", GTK_TYPE_ENTRY);

  const struct {
    const char* name;
    GCallback clicked;
  } buttons[] = {
      {"exportCsv", G_CALLBACK(on_export_csv)},
      {"exportTxt", G_CALLBACK(on_export_txt)},
      {"wipeOptions", G_CALLBACK(on_wipe_options)},
      {"hiddenDrives", G_CALLBACK(on_hidden_drives)},
      {"load", G_CALLBACK(on_load)},
      {"save", G_CALLBACK(on_save)},
      {"debug", G_CALLBACK(on_debug)},
  };
  for (const auto& button : buttons)
    g_signal_connect(ui.widget(button.name), "clicked", button.clicked, this);
  g_signal_connect(notifierErrorOn, "toggled", G_CALLBACK(on_toggled), this);
  g_signal_connect(notifierDoneOn, "toggled", G_CALLBACK(on_toggled), this);
  g_signal_connect(notifierErrorTest, "clicked", G_CALLBACK(on_error_test), this);
  g_signal_connect(notifierDoneTest, "clicked", G_CALLBACK(on_done_test), this);

  // Only a log kept in memory can be saved from here.
  gtk_widget_set_sensitive(ui.widget("debug"), debug_sink_name() == "ostringstream");
}

SettingsUI::~SettingsUI() = default;

bool SettingsUI::run() {
  settings = Settings::instance();
  show_settings();
  const bool ok = gtk_dialog_run(GTK_DIALOG(dialog.get())) == GTK_RESPONSE_OK;
  if (ok) {
    read_settings();
    gtk::message_box(gtk::MessageKind::Information,
                     gettext("Any changes to the default settings will only effect newly opened "
                             "drives, any current opened drives will not be effected."),
                     window());
    Settings::instance() = settings;
  }
  gtk_widget_hide(dialog.get());
  return ok;
}

void SettingsUI::show_settings() {
  options = settings.wipe_options();
  gtk_toggle_button_set_active(notifierErrorOn, settings.notifier_error_on());
  follow_toggle(notifierErrorOn);
  gtk_toggle_button_set_active(notifierDoneOn, settings.notifier_done_on());
  follow_toggle(notifierDoneOn);
  gtk_spin_button_set_value(notifierErrorPeriod, settings.notifier_error_period());
  gtk_spin_button_set_value(notifierDonePeriod, settings.notifier_done_period());
  gtk_entry_set_text(exportCsvEntry, settings.export_csv().c_str());
  gtk_entry_set_text(exportTxtEntry, settings.export_txt().c_str());
}

void SettingsUI::read_settings() {
  // A period typed but not yet taken by the spin button counts too.
  gtk_spin_button_update(notifierErrorPeriod);
  gtk_spin_button_update(notifierDonePeriod);
  settings.set_wipe_options(options);
  settings.set_notifier_error_on(gtk_toggle_button_get_active(notifierErrorOn));
  settings.set_notifier_error_period(
      static_cast<int>(gtk_spin_button_get_value(notifierErrorPeriod)));
  settings.set_notifier_done_on(gtk_toggle_button_get_active(notifierDoneOn));
  settings.set_notifier_done_period(
      static_cast<int>(gtk_spin_button_get_value(notifierDonePeriod)));
  settings.set_export_csv(gtk_entry_get_text(exportCsvEntry));
  settings.set_export_txt(gtk_entry_get_text(exportTxtEntry));
}

void SettingsUI::on_toggled(GtkToggleButton* toggle, gpointer self) {
  guarded("SettingsUI.cpp(411)", "SettingsUI.cpp(413)",
          [&] { static_cast<SettingsUI*>(self)->follow_toggle(toggle); });
}

void SettingsUI::follow_toggle(GtkToggleButton* toggle) {
  const bool on = gtk_toggle_button_get_active(toggle);
  const bool error = toggle == notifierErrorOn;
  gtk_widget_set_sensitive(GTK_WIDGET(error ? notifierErrorPeriod : notifierDonePeriod), on);
  gtk_widget_set_sensitive(error ? notifierErrorTest : notifierDoneTest, on);
}

void SettingsUI::on_error_test(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(422)", "SettingsUI.cpp(424)",
          [&] { static_cast<SettingsUI*>(self)->test_sound(Notifier::Kind::Error); });
}

void SettingsUI::on_done_test(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(433)", "SettingsUI.cpp(435)",
          [&] { static_cast<SettingsUI*>(self)->test_sound(Notifier::Kind::Done); });
}

void SettingsUI::test_sound(Notifier::Kind kind) {
  read_settings();
  notifier.notify(kind);
  const int period = kind == Notifier::Kind::Error ? settings.notifier_error_period()
                                                   : settings.notifier_done_period();
  if (period == 0)
    return;
  gtk::message_box(gtk::MessageKind::Information, gettext("Testing..."), window());
  notifier.notify(Notifier::Kind::None);
}

void SettingsUI::on_export_csv(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(300)", "SettingsUI.cpp(302)", [&] {
    auto* ui = static_cast<SettingsUI*>(self);
    choose_export_path(ui->exportCsvEntry, "WipeLog.csv", ui->window());
  });
}

void SettingsUI::on_export_txt(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(313)", "SettingsUI.cpp(315)", [&] {
    auto* ui = static_cast<SettingsUI*>(self);
    choose_export_path(ui->exportTxtEntry, "WipeLog.txt", ui->window());
  });
}

void choose_export_path(GtkEntry* entry, const char* defaultName, GtkWindow* parent) {
  gtk::FileChooser chooser;
  std::string name;
  const std::string text = gtk_entry_get_text(entry);
  if (!text.empty()) {
    chooser.set_folder(take(g_path_get_dirname(text.c_str())));
    name = take(g_path_get_basename(text.c_str()));
    // A root names no file: a drive root ("\") on Windows, the root folder ("/") here.
    if (!name.empty() && (name[0] == '\\' || name[0] == '/'))
      name.clear();
  }
  if (name.empty())
    name = defaultName;
  if (chooser.save(parent, name, nullptr, gtk::FileChooser::Overwrite::Ask))
    gtk_entry_set_text(entry, chooser.file_name().c_str());
}

void SettingsUI::on_wipe_options(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(325)", "SettingsUI.cpp(327)",
          [&] { static_cast<SettingsUI*>(self)->edit_wipe_options(); });
}

void SettingsUI::edit_wipe_options() {
  WipeOptionsUI editor(dialog.get());
  editor.run(options);
}

void SettingsUI::on_hidden_drives(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(349)", "SettingsUI.cpp(351)",
          [&] { static_cast<SettingsUI*>(self)->edit_hidden_drives(); });
}

void SettingsUI::edit_hidden_drives() {
  // The new list holds the ticked drives of those connected now; hidden drives that are not
  // connected are dropped from it.
  HiddenDrivesUI(drives, window()).edit(settings);
}

void SettingsUI::on_load(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(363)", "SettingsUI.cpp(365)",
          [&] { static_cast<SettingsUI*>(self)->load(); });
}

void SettingsUI::load() {
  SettingsLoader loader(settings);
  loader.set_folder(Settings::directory());
  if (loader.open(window(), nullptr))
    show_settings();
}

void SettingsUI::on_save(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(377)", "SettingsUI.cpp(379)",
          [&] { static_cast<SettingsUI*>(self)->save(); });
}

void SettingsUI::save() {
  read_settings();
  SettingsSaver saver(settings);
  saver.set_folder(Settings::directory());
  saver.save(window(), "settings.cfg", nullptr, gtk::FileChooser::Overwrite::Ask);
}

void SettingsUI::on_debug(GtkButton*, gpointer self) {
  guarded("SettingsUI.cpp(389)", "SettingsUI.cpp(391)",
          [&] { static_cast<SettingsUI*>(self)->save_debug_log(); });
}

void SettingsUI::save_debug_log() {
  DebugSaver().save(window(), "CVW.dbg", nullptr, gtk::FileChooser::Overwrite::Ask);
}

void offer_to_save_settings(const Settings& settings, GtkWindow* parent) {
  if (gtk::message_box(gtk::MessageKind::Question, gettext("Do you want to save settings now?"),
                       parent) != gtk::answer_yes)
    return;
  const std::string path = gtk::join_path(Settings::directory(), "settings.cfg");
  if (!settings.save(path.c_str()))
    show_file_error(N_("Cannot save settings file"), path, parent);
}
