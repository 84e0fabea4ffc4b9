// Every window of the program fits a laptop's screen of 1024x768 with a panel (a work area of
// 1024x738), whatever the language: the build runs these tests in German too, whose texts are
// the longest. The main window itself is measured with its tasks in TopUI/TopUIFitTest.cpp.
#include "DialogResponder.h"
#include "GuiEnvironment.h"
#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "LogUI/LogUI.h"
#include "MainLog.h"
#include "MainLogUI/MainLogUI.h"
#include "MultiWipeUI/MultiWipeUI.h"
#include "ProgramConfig.h"
#include "SettingsUI/SettingsUI.h"
#include "WipeOptionsUI/WipeOptionsUI.h"
#include "WipeRecordSample.h"
#include "app/Program.h"
#include "gtk/MessageBox.h"
#include "gtk/ProgressBox.h"

#include <libintl.h>

#include <string>
#include <vector>

namespace {

constexpr int screen_width = 1024;
constexpr int screen_height = 738;

class WindowSizesTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    use_program_directory_of_the_build();
    program_config().set("Program Name", "Corvana Wipe");
    program_config().set("Quit Icons", "");
    program_config()["Desktop"] = true;
  }

  // Fails when `window` asks for more than the screen has.
  static void expect_fits(GtkWidget* window, const std::string& name) {
    GtkRequisition size;
    gtk_widget_size_request(window, &size);
    EXPECT_LE(size.width, screen_width) << name;
    EXPECT_LE(size.height, screen_height) << name;
  }
};

// Drives with long models and serials, many of them, and one of each warning.
std::vector<Drive> many_drives() {
  std::vector<Drive> drives;
  for (int i = 0; i < 18; ++i) {
    Drive drive = sample_drive(i == 0 ? "System Drive" : i == 1 ? "Program Drive" : "");
    drive.set_id("\\\\.\\PhysicalDrive" + std::to_string(i));
    drive.set_model("WDC WD140EDGZ-11B2DA2 " + std::to_string(i));
    drive.set_serial("WD-WCC6Y0LX1234567" + std::to_string(i));
    drives.push_back(drive);
  }
  return drives;
}

MainLog::Entry history_entry(int i) {
  MainLog::Entry entry;
  entry.set_time(1700000000 + i * 86400);
  entry.set_model("WDC WD140EDGZ-11B2DA2");
  entry.set_serial("WD-WCC6Y0LX1234567" + std::to_string(i));
  entry.set_wipe_method("NAVSO P 5239-26");
  entry.set_wipe_lba(0);
  entry.set_wipe_sectors(27344764928ULL);
  entry.set_errors(static_cast<std::uint32_t>(i % 3));
  return entry;
}

} // namespace

TEST_F(WindowSizesTest, TheWindowsOfInterfaceFiles) {
  const std::vector<Drive> drives = many_drives();
  MainLog history;
  for (int i = 0; i < 40; ++i)
    history.add(history_entry(i));
  Log log;
  log.record() = finished_record();
  for (int i = 0; i < 60; ++i)
    log.add("Pass " + std::to_string(i + 1) + " of 35: " + std::string(120, 'x'));

  MainLogUI historyWindow(history, nullptr);
  LogUI logWindow(log, nullptr);
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
  for (const auto& w : windows)
    expect_fits(w.window, w.name);
}

// The dialogs that code makes: the quit question with the system's choices, a long question of
// the wipe panel, and the box that shows the progress of a download.
TEST_F(WindowSizesTest, TheDialogsOfCode) {
  {
    DialogResponder answers;
    answers.then([](GtkWindow* dialog) { expect_fits(GTK_WIDGET(dialog), "quit"); })
        .respond(GTK_RESPONSE_REJECT);
    confirm_quit(nullptr, 3);
  }
  {
    // As the wipe panel asks it, in the language of the test.
    const std::string text = std::string(gettext("This drive was already wiped.")) + "\n\n" +
                             gettext("Wipe Log (last drive event):") + "\n" +
                             history_entry(1).to_text() + "\n\n" +
                             gettext("Are you sure you want to continue?");
    DialogResponder answers;
    answers.then([](GtkWindow* dialog) { expect_fits(GTK_WIDGET(dialog), "question"); })
        .respond(GTK_RESPONSE_NO);
    gtk::message_box(gtk::MessageKind::Warning, text, nullptr, gtk::DefaultButton::No);
  }
  gtk::ProgressBox box(nullptr, gtk::ProgressMode::Transfer, 100, 0, 600);
  box.set_text(InterfaceCallback::second_text, "/tmp/" + std::string(200, 'x'));
  box.refresh();
  expect_fits(box.widget(), "progress");
}
