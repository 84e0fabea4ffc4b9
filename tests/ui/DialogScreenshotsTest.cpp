// Pictures of the history and task log windows, the certificate, the settings dialog and the
// drive selection dialogs, written to the build folder's "screenshots" for people to look at.
#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "LogUI/LogUI.h"
#include "MainLogUI/MainLogUI.h"
#include "MultiWipeUI/MultiWipeUI.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "Settings.h"
#include "SettingsUI/SettingsUI.h"
#include "TempDir.h"
#include "WipeCertificateUI/WipeCertificateUI.h"
#include "WipeRecordSample.h"
#include "parts/WipeConfirmation.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

class DialogScreenshotsTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    use_program_directory_of_the_build();
  }
};

MainLog::Entry history_entry(std::int64_t time, const char* model, const char* serial,
                             const char* method, std::uint64_t sectors, std::uint32_t errors) {
  MainLog::Entry entry;
  entry.set_time(time);
  entry.set_model(model);
  entry.set_serial(serial);
  entry.set_wipe_method(method);
  entry.set_wipe_lba(0);
  entry.set_wipe_sectors(sectors);
  entry.set_errors(errors);
  return entry;
}

// The log of a wipe as the wipe model writes it, roughly.
void fill_task_log(Log& log) {
  log.add("Wipe started: DoD 5220.22-M (E), sectors 0 - 3907029167, verify");
  log.add("Pass 1 of 3");
  log.add("Pass 2 of 3");
  log.add("Pass 3 of 3");
  log.add("Verifying");
  log.add("Wipe done\nRun time:  5 hours 12 minutes\nErrors: 0 (Certificate)");
}

} // namespace

TEST_F(DialogScreenshotsTest, HistoryWindow) {
  MainLog history;
  const char* methods[] = {"Forward", "DoD 5220.22-M (E)", "Gutmann", "NAVSO P 5239-26"};
  for (int i = 0; i < 12; ++i)
    history.add(history_entry(1700000000 + i * 86400,
                              i % 3 ? "ST2000DM008-2FR102" : "WDC WD10EZEX-08WN4A0",
                              ("ZFL1A" + std::to_string(100 + i)).c_str(), methods[i % 4],
                              3907029168ULL, i == 5 ? 3 : 0));
  MainLogUI window(history, nullptr);
  gtk_widget_show(window.window());
  save_screenshot(window.window(), "MainLogUI");
}

TEST_F(DialogScreenshotsTest, TaskLogWhileWipingAndWithItsCertificate) {
  Log running;
  running.add("Wipe started: Forward, sectors 0 - 3907029167");
  running.add("Pass 1 of 1");
  LogUI during(running, nullptr);
  gtk_widget_show(during.window());
  save_screenshot(during.window(), "LogUI-running");

  Log finished;
  finished.record() = finished_record();
  fill_task_log(finished);
  LogUI after(finished, nullptr);
  gtk_widget_show(after.window());
  save_screenshot(after.window(), "LogUI-certificate");
  save_screenshot(after.certificate()->picture_area(), "WipeCertificateUI");

  // The longest texts a certificate gets: a 40-character model, a long pattern, a typed
  // description that does not fit.
  Drive drive = sample_drive();
  drive.set_model("Samsung SSD 870 QVO 8TB Enterprise Series");
  drive.set_serial("S5SSNJ0R123456W-EXTRA-LONG");
  WipeRecord record = finished_record(drive);
  WipeOptions options = record.options();
  options.set_mode(5);
  options.set_pattern(std::string("\x55\xaa\x00\xff\x92\x49\x24 longer pattern text", 27));
  record.set_options(options);
  WipeCertificateUI longest(record, nullptr);
  gtk_entry_set_text(GTK_ENTRY(find_widget(longest.widget(), "drive")),
                     "Returned lease laptop, asset tag 2023-0047-HR, second bay");
  gtk_entry_set_text(GTK_ENTRY(find_widget(longest.widget(), "technician")),
                     "Maximilian Oberwiesenthaler-Schmidt");
  GtkWidget* window = show_in_window(longest.widget(), "LogUI");
  gtk_widget_grab_focus(find_widget(longest.widget(), "drive")); // as after typing
  // Saved as the operator saves it, into a folder of the test's own: the root program refuses
  // to write below a folder that another user may change, as the checkout's may be.
  TempDir saved;
  const std::string picture = saved.path().string() + "/WipeCertificateUI-long.png";
  DialogResponder answers;
  answers.choose_file(picture);
  gtk_button_clicked(GTK_BUTTON(find_widget(longest.widget(), "save")));
  gtk_widget_destroy(window);
  ASSERT_TRUE(std::filesystem::is_regular_file(picture));
  std::filesystem::create_directories(screenshot_folder());
  std::filesystem::copy_file(picture, screenshot_folder() + "/WipeCertificateUI-long.png",
                             std::filesystem::copy_options::overwrite_existing);
}

namespace {

std::vector<Drive> some_drives() {
  std::vector<Drive> drives;
  const struct {
    const char* model;
    const char* serial;
    std::uint64_t sectors;
    const char* warning;
  } rows[] = {
      {"Samsung SSD 860 EVO 500GB", "S3Z2NB0K123456A", 976773168ULL, "System Drive"},
      {"ST2000DM008-2FR102", "ZFL1A2B3", 3907029168ULL, ""},
      {"WDC WD10EZEX-08WN4A0", "WD-WCC6Y0LX1234", 1953525168ULL, ""},
      {"Kingston DataTraveler 3.0", "E0D55EA573F1", 60437492ULL, ""},
  };
  for (const auto& row : rows) {
    Drive drive = sample_drive();
    drive.set_model(row.model);
    drive.set_serial(row.serial);
    drive.set_sectors(row.sectors);
    drive.set_warning(row.warning);
    drives.push_back(drive);
  }
  return drives;
}

} // namespace

TEST_F(DialogScreenshotsTest, SettingsDialog) {
  Settings settings;
  settings.set_notifier_error_period(30);
  settings.set_notifier_done_on(false);
  settings.set_export_txt("/srv/reports/WipeLog.txt");
  Settings::instance() = settings;
  const std::vector<Drive> drives = some_drives();
  SettingsUI ui(drives, nullptr);
  DialogResponder answers;
  answers.then([&](GtkWindow* dialog) { save_screenshot(GTK_WIDGET(dialog), "SettingsUI"); })
      .close();
  ui.run();
}

TEST_F(DialogScreenshotsTest, DriveSelectionDialogs) {
  const std::vector<Drive> drives = some_drives();
  HiddenDrivesUI hidden(drives, nullptr);
  hidden.set_selected(0, true);
  gtk_widget_show(GTK_WIDGET(hidden.window()));
  save_screenshot(GTK_WIDGET(hidden.window()), "HiddenDrivesUI");

  MultiWipeUI wipe(drives, nullptr);
  gtk_widget_show(GTK_WIDGET(wipe.window()));
  save_screenshot(GTK_WIDGET(wipe.window()), "MultiWipeUI-none");
  wipe.set_selected(1, true);
  wipe.set_selected(2, true);
  save_screenshot(GTK_WIDGET(wipe.window()), "MultiWipeUI");

  // The question before the start names the drives; of a long list, the first ones.
  program_config()["wipe"]["stop at drive warning"] = false;
  for (std::size_t i = 0; i < drives.size(); ++i)
    wipe.set_selected(i, true);
  DialogResponder few;
  few.click("start")
      .then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "MultiWipeUI-question"); })
      .click("gtk-no")
      .close();
  wipe.run();
  std::vector<Drive> many;
  for (int i = 0; i < 3; ++i)
    many.insert(many.end(), drives.begin() + 1, drives.end());
  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "WipeAll-question"); })
      .click("gtk-no");
  confirm_wipe(drives_to_wipe_text(many), "", nullptr);
}
