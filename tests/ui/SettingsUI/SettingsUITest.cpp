#include "SettingsUI/SettingsUI.h"

#include "Compressed.h"
#include "DebugLog.h"
#include "DialogResponder.h"
#include "Files.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "ProgramConfig.h"
#include "TempDir.h"
#include "app/DebugSinks.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

Drive drive(const char* model, const char* serial) {
  Drive d;
  d.set_model(model);
  d.set_serial(serial);
  d.set_sectors(1000);
  return d;
}

class SettingsUITest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    // The program directory holds a stand-in sound player that writes down what it plays.
    program_config().set("Program Path", dir.path().string());
    const std::string player = "#!/bin/sh\necho \"$1\" >> '" + dir.file("played") + "'\n";
    write_file(dir.file("tonlet"), player.data(), player.size());
    fs::permissions(dir.file("tonlet"), fs::perms::owner_all);
    Settings::set_directory(dir.path().string());
  }
  GtkWidget* control(SettingsUI& ui, const char* name) {
    return widget_by_id(GTK_WIDGET(ui.window()), name);
  }
  void set_active(SettingsUI& ui, const char* name, bool on) {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control(ui, name)), on);
  }
  void set_value(SettingsUI& ui, const char* name, double value) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(control(ui, name)), value);
  }
  void set_text(SettingsUI& ui, const char* name, const char* text) {
    gtk_entry_set_text(GTK_ENTRY(control(ui, name)), text);
  }
  std::string text_of(SettingsUI& ui, const char* name) {
    return gtk_entry_get_text(GTK_ENTRY(control(ui, name)));
  }
  bool sensitive(SettingsUI& ui, const char* name) {
    return gtk_widget_get_sensitive(control(ui, name)) != FALSE;
  }
  // Clicks `name` from the dialog's own loop, once the current responder step has returned: for
  // a button that opens no dialog (the responder's click waits for one).
  void click_soon(SettingsUI& ui, const char* name) {
    g_idle_add(
        [](gpointer button) {
          gtk_button_clicked(GTK_BUTTON(button));
          return gboolean(FALSE);
        },
        control(ui, name));
  }
  std::vector<std::string> played() {
    std::string text;
    read_file(dir.file("played"), text);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    return lines;
  }

  TempDir dir;
  LogCapture debug;
  std::vector<Drive> drives{drive("ST2000DM008", "ZFL1"), drive("A&B <1>", "S2"),
                            drive("WDC WD10EZEX", "WD-1")};
};

Settings sample_settings() {
  Settings s;
  s.set_notifier_error_on(true);
  s.set_notifier_error_period(30);
  s.set_notifier_done_on(false);
  s.set_notifier_done_period(0);
  s.set_export_csv("/exports/history.csv");
  s.set_export_txt("");
  s.set_notifier_error_arg("lib/sounds/error.wav");
  s.set_wipe_certificate_technician("J. Smith");
  return s;
}

} // namespace

TEST_F(SettingsUITest, OkAppliesTheDialogAndCancelDiscardsIt) {
  Settings::instance() = sample_settings();
  SettingsUI ui(drives, nullptr);

  DialogResponder cancel;
  cancel
      .then([&](GtkWindow*) {
        EXPECT_EQ(text_of(ui, "exportCsvEntry"), "/exports/history.csv");
        set_active(ui, "notifierErrorOn", false);
        set_text(ui, "exportTxtEntry", "/exports/history.txt");
      })
      .click("gtk-cancel");
  EXPECT_FALSE(ui.run());
  EXPECT_FALSE(Settings::instance().export_txt() == "/exports/history.txt");
  EXPECT_TRUE(Settings::instance().notifier_error_on());

  DialogResponder ok;
  ok.then([&](GtkWindow*) {
      EXPECT_EQ(text_of(ui, "exportTxtEntry"), "") << "shown afresh from the settings";
      set_active(ui, "notifierErrorOn", false);
      set_active(ui, "notifierDoneOn", true);
      set_value(ui, "notifierDonePeriod", 12);
      set_text(ui, "exportTxtEntry", "/exports/history.txt");
      set_text(ui, "exportCsvEntry", "");
    })
      .click("gtk-ok")
      .click("gtk-close");
  EXPECT_TRUE(ui.run());
  ASSERT_EQ(ok.seen().size(), 2u);
  EXPECT_EQ(ok.seen()[1].title, "Information");
  EXPECT_EQ(ok.seen()[1].text, "Any changes to the default settings will only effect newly "
                               "opened drives, any current opened drives will not be effected.");
  const Settings& applied = Settings::instance();
  EXPECT_FALSE(applied.notifier_error_on());
  EXPECT_EQ(applied.notifier_error_period(), 30);
  EXPECT_TRUE(applied.notifier_done_on());
  EXPECT_EQ(applied.notifier_done_period(), 12);
  EXPECT_EQ(applied.export_txt(), "/exports/history.txt");
  EXPECT_EQ(applied.export_csv(), "");
  EXPECT_EQ(applied.notifier_error_arg(), "lib/sounds/error.wav") << "not edited here";
  EXPECT_EQ(applied.wipe_certificate_technician(), "J. Smith");
  EXPECT_FALSE(fs::exists(dir.file("settings.cfg"))) << "OK writes no file";

  // OK without a change still informs and applies.
  DialogResponder unchanged;
  unchanged.click("gtk-ok").click("gtk-close");
  Settings::instance().set_export_csv("/other.csv");
  EXPECT_TRUE(ui.run());
  EXPECT_EQ(unchanged.seen().size(), 2u);
  EXPECT_EQ(Settings::instance().export_csv(), "/other.csv");
}

TEST_F(SettingsUITest, ASoundSwitchedOffGreysItsPeriodAndTest) {
  Settings::instance() = sample_settings(); // error sound on, done sound off
  SettingsUI ui(drives, nullptr);
  DialogResponder answers;
  answers
      .then([&](GtkWindow*) {
        EXPECT_TRUE(sensitive(ui, "notifierErrorPeriod"));
        EXPECT_TRUE(sensitive(ui, "notifierErrorTest"));
        EXPECT_FALSE(sensitive(ui, "notifierDonePeriod"));
        EXPECT_FALSE(sensitive(ui, "notifierDoneTest"));
        set_active(ui, "notifierErrorOn", false);
        set_active(ui, "notifierDoneOn", true);
        EXPECT_FALSE(sensitive(ui, "notifierErrorPeriod"));
        EXPECT_FALSE(sensitive(ui, "notifierErrorTest"));
        EXPECT_TRUE(sensitive(ui, "notifierDonePeriod"));
        EXPECT_TRUE(sensitive(ui, "notifierDoneTest"));
      })
      .close();
  EXPECT_FALSE(ui.run());
}

// A test plays the sound the dialog shows now (not yet applied): once for period 0, repeated
// while "Testing..." is open otherwise.
TEST_F(SettingsUITest, SoundTestsPlayWhatTheDialogShows) {
  Settings settings = sample_settings();
  settings.set_notifier_done_on(true);
  settings.set_notifier_done_arg("done.wav");
  Settings::instance() = settings;
  SettingsUI ui(drives, nullptr);
  const std::string errorSound = dir.file("lib/sounds/error.wav");
  const std::string doneSound = dir.file("done.wav");

  DialogResponder answers;
  answers
      .then([&](GtkWindow*) {
        click_soon(ui, "notifierDoneTest"); // period 0: once, no message
      })
      .then([&](GtkWindow*) {
        EXPECT_TRUE(run_loop([&] { return played().size() == 1; }, 5 * G_USEC_PER_SEC));
        set_value(ui, "notifierErrorPeriod", 1);
      })
      .click("notifierErrorTest")
      .then([&](GtkWindow* box) {
        EXPECT_STREQ(gtk_window_get_title(box), "Information");
        EXPECT_TRUE(run_loop([&] { return played().size() >= 3; }, 5 * G_USEC_PER_SEC))
            << "repeats while the message is open";
      })
      .click("gtk-close")
      .then([&](GtkWindow*) {
        const std::size_t heard = played().size();
        run_loop([] { return false; }, 1500 * 1000);
        EXPECT_EQ(played().size(), heard) << "closing the message ends the repetition";
      })
      .click("gtk-cancel");
  EXPECT_FALSE(ui.run());
  const std::vector<std::string> sounds = played();
  ASSERT_GE(sounds.size(), 3u);
  EXPECT_EQ(sounds[0], doneSound);
  for (std::size_t i = 1; i < sounds.size(); ++i)
    EXPECT_EQ(sounds[i], errorSound);
  EXPECT_EQ(Settings::instance().notifier_error_period(), 30) << "the test applied nothing";
}

TEST_F(SettingsUITest, ExportFilesAreChosenFromTheFileTheEntryNames) {
  fs::create_directories(dir.path() / "exports");
  const struct {
    std::string entry;
    std::string folder; // "" : the chooser's own
    const char* name;
  } cases[] = {
      {"", "", "WipeLog.csv"},
      {dir.file("exports/history.csv"), dir.file("exports"), "history.csv"},
      {"/", "/", "WipeLog.csv"}, // the root names a folder, not a file
  };
  GtkWidget* entry = gtk_entry_new();
  g_object_ref_sink(entry);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    gtk_entry_set_text(GTK_ENTRY(entry), c.entry.c_str());
    DialogResponder answers;
    answers
        .then([&](GtkWindow* chooser) {
          if (!c.folder.empty()) {
            std::string folder;
            run_loop(
                [&] {
                  gchar* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
                  folder = shown != nullptr ? shown : "";
                  g_free(shown);
                  return folder == c.folder;
                },
                5 * G_USEC_PER_SEC);
            EXPECT_EQ(folder, c.folder);
          }
          // The name field is the chooser's only entry that is shown.
          std::string name;
          for (GtkWidget* w : all_widgets(GTK_WIDGET(chooser)))
            if (GTK_IS_ENTRY(w) && gtk_widget_get_visible(w))
              name = gtk_entry_get_text(GTK_ENTRY(w));
          EXPECT_EQ(name, c.name);
        })
        .choose_file(dir.file("exports/chosen.csv"));
    choose_export_path(GTK_ENTRY(entry), "WipeLog.csv", nullptr);
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(entry)), dir.file("exports/chosen.csv"));
    EXPECT_FALSE(fs::exists(dir.file("exports/chosen.csv"))) << "nothing written";
  }
  DialogResponder cancel;
  cancel.respond(GTK_RESPONSE_CANCEL);
  choose_export_path(GTK_ENTRY(entry), "WipeLog.csv", nullptr);
  EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(entry)), dir.file("exports/chosen.csv"));
  g_object_unref(entry);
}

// The hidden list becomes the ticked drives of those connected; a hidden drive that is not
// connected now is dropped from it.
TEST_F(SettingsUITest, HiddenDrivesAreEditedOnTheCopy) {
  Settings settings;
  settings.set_hidden_drives({drives[0], drive("Unplugged", "U1")});
  Settings::instance() = settings;
  SettingsUI ui(drives, nullptr);
  DialogResponder answers;
  answers.click("hiddenDrives")
      .then([&](GtkWindow* hidden) {
        EXPECT_STREQ(gtk_window_get_title(hidden), "Hidden Drives");
        EXPECT_EQ(gtk_window_get_transient_for(hidden), ui.window());
        GtkTreeModel* store =
            gtk_tree_view_get_model(GTK_TREE_VIEW(widget_by_id(GTK_WIDGET(hidden), "treeview")));
        GtkTreeIter row;
        gboolean ticked[3] = {};
        int i = 0;
        for (bool more = gtk_tree_model_get_iter_first(store, &row); more && i < 3;
             more = gtk_tree_model_iter_next(store, &row))
          gtk_tree_model_get(store, &row, 0, &ticked[i++], -1);
        EXPECT_TRUE(ticked[0] && !ticked[1] && !ticked[2]);
        gtk_button_clicked(GTK_BUTTON(widget_by_id(GTK_WIDGET(hidden), "selectAll")));
      })
      .click("gtk-ok")
      .then([&](GtkWindow*) {
        EXPECT_EQ(Settings::instance().hidden_drives().size(), 2u) << "not applied yet";
      })
      .click("gtk-ok")
      .click("gtk-close");
  EXPECT_TRUE(ui.run());
  const std::vector<Drive>& hidden = Settings::instance().hidden_drives();
  ASSERT_EQ(hidden.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(hidden[i].model(), drives[i].model());
}

TEST_F(SettingsUITest, LoadedAndSavedFilesStayInTheDialogUntilOk) {
  Settings file = sample_settings();
  file.set_export_txt("/loaded/history.txt");
  file.set_hidden_drives({drives[2]});
  ASSERT_TRUE(file.save(dir.file("loaded.cfg").c_str()));
  // A file that fails half-way: the wipe options, the hidden drives and the error sound would
  // load, then "notifierDoneOn" is missing.
  std::string text;
  read_file(dir.file("loaded.cfg"), text);
  const std::size_t from = text.find("\"notifierDoneOn\"");
  ASSERT_NE(from, std::string::npos);
  std::string broken = text.substr(0, from) + text.substr(text.find('\n', from) + 1);
  broken.replace(broken.find("\"sectorsPerTime\":256"), 20, "\"sectorsPerTime\":999");
  write_file(dir.file("broken.cfg"), broken.data(), broken.size());

  Settings::instance() = Settings();
  SettingsUI ui(drives, nullptr);
  DialogResponder answers;
  answers.click("load")
      .choose_file(dir.file("broken.cfg"))
      .click("gtk-close")
      .respond(GTK_RESPONSE_CANCEL)
      .click("save")
      .choose_file(dir.file("saved.cfg"))
      .click("load")
      .choose_file(dir.file("loaded.cfg"))
      .then([&](GtkWindow*) {
        EXPECT_EQ(text_of(ui, "exportTxtEntry"), "/loaded/history.txt");
        EXPECT_EQ(text_of(ui, "exportCsvEntry"), "/exports/history.csv");
      })
      .click("gtk-cancel");
  EXPECT_FALSE(ui.run());
  ASSERT_GE(answers.seen().size(), 3u);
  EXPECT_EQ(answers.seen()[2].text, "Cannot load settings file\n" + dir.file("broken.cfg"));
  EXPECT_EQ(Settings::instance().export_txt(), "") << "Cancel drops the loaded file";
  EXPECT_TRUE(Settings::instance().hidden_drives().empty());

  // What was saved is the dialog as it stood: the defaults, untouched by the broken file.
  Settings saved;
  ASSERT_TRUE(saved.load(dir.file("saved.cfg").c_str()));
  EXPECT_EQ(saved.wipe_options().sectors_per_time(), 256u);
  EXPECT_EQ(saved.export_txt(), "");
  EXPECT_TRUE(saved.hidden_drives().empty());

  DialogResponder ok;
  ok.click("load").choose_file(dir.file("loaded.cfg")).click("gtk-ok").click("gtk-close");
  EXPECT_TRUE(ui.run());
  EXPECT_EQ(Settings::instance().export_txt(), "/loaded/history.txt");
  EXPECT_EQ(Settings::instance().hidden_drives().size(), 1u);
  EXPECT_EQ(Settings::instance().notifier_error_arg(), "lib/sounds/error.wav")
      << "a loaded file brings the texts this dialog does not show";
}

TEST_F(SettingsUITest, TheDebugLogIsSavedOnlyWhenKeptInMemory) {
  {
    SettingsUI ui(drives, nullptr);
    EXPECT_FALSE(sensitive(ui, "debug")) << "no sink chosen: nothing held";
  }
  char program[] = "wipedesk";
  char memory[] = "dbg=ostringstream";
  char* argv[] = {program, memory, nullptr};
  choose_debug_sink(2, argv);
  debug_log() << "SettingsUITest.cpp(1): a line to save\n";
  SettingsUI ui(drives, nullptr);
  EXPECT_TRUE(sensitive(ui, "debug"));
  DialogResponder answers;
  answers.click("debug").choose_file(dir.file("CVW.dbg")).close();
  ui.run();
  std::string saved;
  ASSERT_TRUE(load_compressed(dir.file("CVW.dbg"), saved));
  EXPECT_NE(saved.find("SettingsUITest.cpp(1): a line to save\n"), std::string::npos) << saved;
  set_debug_log(std::cerr);
}

// The options dialog edits the dialog's copy of the default options: what it accepts shows the
// next time it opens, and reaches the settings only with OK.
TEST_F(SettingsUITest, DefaultWipeOptionsAreEditedOnTheCopy) {
  SettingsUI ui(drives, nullptr);
  const auto method = [&](int shown, int chosen) {
    return [&ui, shown, chosen](GtkWindow* options) {
      EXPECT_STREQ(gtk_window_get_title(options), "Wipe Options");
      EXPECT_EQ(gtk_window_get_transient_for(options), ui.window());
      GtkComboBox* combo = GTK_COMBO_BOX(widget_by_id(GTK_WIDGET(options), "operationMode"));
      EXPECT_EQ(gtk_combo_box_get_active(combo), shown);
      gtk_combo_box_set_active(combo, chosen);
    };
  };
  DialogResponder cancelled;
  cancelled.click("wipeOptions")
      .then(method(0, 3))
      .click("gtk-ok")
      .click("wipeOptions")
      .then(method(3, 7))
      .click("gtk-cancel")
      .click("gtk-cancel");
  EXPECT_FALSE(ui.run());
  EXPECT_EQ(Settings::instance().wipe_options().mode(), 0);

  DialogResponder applied;
  applied.click("wipeOptions")
      .then(method(0, 3))
      .click("gtk-ok")
      .click("gtk-ok")
      .click("gtk-close");
  EXPECT_TRUE(ui.run());
  EXPECT_EQ(Settings::instance().wipe_options().mode(), 3);
}
