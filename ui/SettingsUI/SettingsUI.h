// The settings dialog, and the question that saves the settings at once.
//
// The dialog works on a copy of the process-wide settings: loading a file, saving one, testing
// a sound, editing the default options or the hidden drives all act on the copy, and only OK
// puts the copy in place of the process-wide settings. No settings file is written by OK.
#pragma once

#include "Drive.h"
#include "Notifier.h"
#include "Settings.h"
#include "WipeOptions.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

class SettingsUI {
public:
  // The dialog over the main window's `drives` (not owned; for the hidden drives), centred on
  // `parent` or, without one, on the screen. Throws what gtk::Builder throws, and what the
  // notifier throws when the program configuration has no "Program Path".
  SettingsUI(const std::vector<Drive>& drives, GtkWindow* parent);
  SettingsUI(const SettingsUI&) = delete;
  SettingsUI& operator=(const SettingsUI&) = delete;
  // Destroys the dialog, then stops a sound that repeats.
  ~SettingsUI();

  // Shows the process-wide settings and waits for the operator. OK applies what the dialog
  // holds (after a word on what it affects) and returns true; Cancel or closing returns false
  // and changes nothing.
  bool run();

  GtkWindow* window() const { return GTK_WINDOW(dialog.get()); }

private:
  static void on_export_csv(GtkButton*, gpointer self);
  static void on_export_txt(GtkButton*, gpointer self);
  static void on_wipe_options(GtkButton*, gpointer self);
  static void on_hidden_drives(GtkButton*, gpointer self);
  static void on_load(GtkButton*, gpointer self);
  static void on_save(GtkButton*, gpointer self);
  static void on_debug(GtkButton*, gpointer self);
  static void on_toggled(GtkToggleButton* toggle, gpointer self);
  static void on_error_test(GtkButton*, gpointer self);
  static void on_done_test(GtkButton*, gpointer self);

  void show_settings();
  void read_settings();
  void follow_toggle(GtkToggleButton* toggle);
  void test_sound(Notifier::Kind kind);
  void edit_wipe_options();
  void edit_hidden_drives();
  void load();
  void save();
  void save_debug_log();

  const std::vector<Drive>& drives;
  Settings settings;
  WipeOptions options;
  Notifier notifier;
  gtk::WidgetRef dialog;
  GtkToggleButton* notifierErrorOn = nullptr;
  GtkSpinButton* notifierErrorPeriod = nullptr;
  GtkWidget* notifierErrorTest = nullptr;
  GtkToggleButton* notifierDoneOn = nullptr;
  GtkSpinButton* notifierDonePeriod = nullptr;
  GtkWidget* notifierDoneTest = nullptr;
  GtkEntry* exportCsvEntry = nullptr;
  GtkEntry* exportTxtEntry = nullptr;
};

// Asks over `parent` whether to save the settings now; on Yes writes `settings` to
// "settings.cfg" in the settings directory, and says so when that fails.
void offer_to_save_settings(const Settings& settings, GtkWindow* parent);

// Lets the operator choose the file of an automatic history export, starting from the file
// `entry` names (or, when empty or naming a root folder, suggesting `defaultName`), and puts the
// chosen file into `entry`. Nothing is written to the file.
void choose_export_path(GtkEntry* entry, const char* defaultName, GtkWindow* parent);
