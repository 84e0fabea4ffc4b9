// Every window's mnemonics are unique as the window is made up: its interface files together
// (the main window with a drive's task is TopUI, WipeUI and ViewUI), the stock buttons and the
// buttons its code adds. In GTK 2 a key that two shown widgets share only moves the focus
// between them. The build runs these tests in German too, where the stock buttons take GTK's
// German labels.
#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "LogUI/LogUI.h"
#include "MainLog.h"
#include "MainLogUI/MainLogUI.h"
#include "MultiWipeUI/MultiWipeUI.h"
#include "Settings.h"
#include "SettingsUI/SettingsUI.h"
#include "TopUIFixture.h"
#include "WipeOptionsUI/WipeOptionsUI.h"
#include "WipeRecordSample.h"
#include "app/Program.h"
#include "gtk/WidgetName.h"

#include <gdk/gdkkeysyms.h>
#include <libintl.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The label of every mnemonic under `root` that shows with it: the label and each widget up to
// `root` (shown or not) are visible. Keys by their lower-case key value.
std::map<guint, std::vector<std::string>> mnemonics_of(GtkWidget* root) {
  std::map<guint, std::vector<std::string>> keys;
  for (GtkWidget* widget : all_widgets(root)) {
    if (!GTK_IS_LABEL(widget))
      continue;
    const guint key = gtk_label_get_mnemonic_keyval(GTK_LABEL(widget));
    if (key == GDK_VoidSymbol)
      continue;
    bool shown = true;
    for (GtkWidget* up = widget; up != nullptr && up != root; up = gtk_widget_get_parent(up))
      shown = shown && gtk_widget_get_visible(up);
    if (shown)
      keys[gdk_keyval_to_lower(key)].push_back(gtk_label_get_label(GTK_LABEL(widget)));
  }
  return keys;
}

// The keys that more than one label takes, each with its labels; empty when there are none.
std::string clashes(GtkWidget* root) {
  std::ostringstream text;
  for (const auto& [key, labels] : mnemonics_of(root)) {
    if (labels.size() < 2)
      continue;
    text << "Alt+" << gdk_keyval_name(key) << ":";
    for (const std::string& label : labels)
      text << " \"" << label << "\"";
    text << "\n";
  }
  return text.str();
}

// The widget that Alt and the mnemonic of `label` activate: the label's mnemonic widget, or the
// button it lies in.
GtkWidget* mnemonic_target(GtkWidget* label) {
  if (GtkWidget* target = gtk_label_get_mnemonic_widget(GTK_LABEL(label)))
    return target;
  for (GtkWidget* up = label; up != nullptr; up = gtk_widget_get_parent(up))
    if (GTK_IS_BUTTON(up))
      return up;
  return nullptr;
}

// The mnemonic of the label of the button `button`; GDK_VoidSymbol for none.
guint button_key(GtkWidget* button) {
  return gdk_keyval_to_lower(
      gtk_label_get_mnemonic_keyval(GTK_LABEL(gtk_bin_get_child(GTK_BIN(button)))));
}

class MnemonicsTest : public TopUIFixture {
protected:
  void SetUp() override {
    TopUIFixture::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    use_program_directory_of_the_build();
    Settings::set_directory(dir.path().string());
  }
};

} // namespace

// The main window with a drive's task open, its area and options shown, in every state of the
// wipe: the two action buttons take each of their labels in turn, and each label has a key of
// its own in the window. CONTINUE's key is a letter of its own word that START's is not, so
// that START's key pressed twice never starts a wipe. No key reaches "Wipe all drives" or
// "Multi-Wipe": a wipe of several drives is never one key away. The build runs it in German too.
TEST_F(MnemonicsTest, TheMainWindowWithATask) {
  const std::vector<Drive> drives = table_drives(2);
  make(drives);
  press_icon(drives[0]);
  GtkWidget* task = top->task_widget(drives[0]);
  ASSERT_NE(task, nullptr);
  ASSERT_TRUE(gtk_widget_get_visible(widget_by_id(task, "bottom"))) << "the options show";
  GtkWidget* start = widget_by_id(task, "start");
  GtkWidget* stop = widget_by_id(task, "stop");
  GtkWidget* const severalDrives[] = {widget_by_id(task, "wipeAll"),
                                      widget_by_id(top->widget(), "multiwipe")};
  const struct {
    WipeModel::State state;
    const char* start; // the buttons' labels, untranslated
    const char* stop;
  } states[] = {{WipeModel::State::Idle, "_START", "_CLOSE"},
                {WipeModel::State::Waiting, "CONT_INUE", "_CANCEL"},
                {WipeModel::State::Wiping, "PAU_SE", "_CANCEL"},
                {WipeModel::State::Paused, "RE_SUME", "_CANCEL"},
                {WipeModel::State::Done, "CONT_INUE", "_CANCEL"}};
  guint startKey = GDK_VoidSymbol;
  for (const auto& s : states) {
    SCOPED_TRACE(s.start);
    wipeModels.of(drives[0])->set_state(s.state);
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(start)), std::string(gettext(s.start)));
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(stop)), std::string(gettext(s.stop)));
    EXPECT_EQ(clashes(window), "");
    EXPECT_GE(mnemonics_of(window).size(), 17u) << "the task's mnemonics were gathered";
    for (GtkWidget* button : {start, stop})
      EXPECT_NE(button_key(button), guint{GDK_VoidSymbol})
          << gtk_button_get_label(GTK_BUTTON(button));
    if (s.state == WipeModel::State::Idle)
      startKey = button_key(start);
    if (std::string(s.start) == "CONT_INUE") {
      const guint key = button_key(start);
      EXPECT_TRUE(g_unichar_isalpha(gdk_keyval_to_unicode(key))) << gdk_keyval_name(key);
      EXPECT_NE(key, startKey) << "START's and CONTINUE's key: " << gdk_keyval_name(key);
    }
    for (GtkWidget* widget : all_widgets(window)) {
      if (!GTK_IS_LABEL(widget) ||
          gtk_label_get_mnemonic_keyval(GTK_LABEL(widget)) == GDK_VoidSymbol)
        continue;
      for (GtkWidget* button : severalDrives)
        EXPECT_NE(mnemonic_target(widget), button) << "\"" << gtk_label_get_label(GTK_LABEL(widget))
                                                   << "\" reaches " << gtk::accessible_id(button);
    }
  }
}

TEST_F(MnemonicsTest, TheDialogsOfInterfaceFiles) {
  const std::vector<Drive> drives = table_drives(3);
  MainLog history;
  Log log;
  log.record() = finished_record();
  log.add("Done");

  MainLogUI historyWindow(history, nullptr);
  LogUI logWindow(log, nullptr);
  ASSERT_NE(logWindow.certificate(), nullptr);
  WipeOptionsUI options(nullptr);
  SettingsUI settings(drives, nullptr);
  MultiWipeUI multiWipe(drives, nullptr);
  HiddenDrivesUI hidden(drives, nullptr);
  const struct {
    const char* name;
    GtkWidget* window;
  } windows[] = {
      {"wipe history", historyWindow.window()},
      {"task log with its certificate", logWindow.window()},
      {"wipe options", options.dialog()},
      {"settings", GTK_WIDGET(settings.window())},
      {"multi-wipe", GTK_WIDGET(multiWipe.window())},
      {"hidden drives", GTK_WIDGET(hidden.window())},
  };
  for (const auto& w : windows) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(clashes(w.window), "");
    EXPECT_GE(mnemonics_of(w.window).size(), 2u) << "the window's mnemonics were gathered";
  }
}

// The dialogs that code makes: the quit question with the system's choices, and the options of
// the certificate.
TEST_F(MnemonicsTest, TheDialogsOfCode) {
  program_config()["Desktop"] = true;
  make(table_drives(1));
  std::string quit, certificateOptions;
  {
    DialogResponder answers;
    answers.then([&](GtkWindow* dialog) { quit = clashes(GTK_WIDGET(dialog)); })
        .respond(GTK_RESPONSE_REJECT);
    top->quit();
  }
  EXPECT_EQ(quit, "");

  Log log;
  log.record() = finished_record();
  LogUI logWindow(log, nullptr);
  gtk_widget_show(logWindow.window());
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        certificateOptions = clashes(GTK_WIDGET(dialog));
        EXPECT_GE(mnemonics_of(GTK_WIDGET(dialog)).size(), 1u);
      })
      .respond(GTK_RESPONSE_CANCEL);
  gtk_button_clicked(GTK_BUTTON(widget_by_id(logWindow.window(), "options")));
  EXPECT_EQ(certificateOptions, "");
}
