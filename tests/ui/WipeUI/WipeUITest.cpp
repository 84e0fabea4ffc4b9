// The wipe panel against a fake model that answers when the test says so, with a recording
// drive task as its owner and a stand-in sound player: every model state as the panel shows it,
// the START chain through its checks and questions, the exports at the end of a wipe, the area,
// the options and what the panel hands to its task.
#include "WipeUI/WipeUI.h"

#include "DialogResponder.h"
#include "DoubleClick.h"
#include "ElevatedOperator.h"
#include "FakeWipeModel.h"
#include "FindWidget.h"
#include "Format.h"
#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "LogCapture.h"
#include "MainLog.h"
#include "MainLoop.h"
#include "PartitionSample.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "Script.h"
#include "Settings.h"
#include "TempDir.h"
#include "TestMachine.h"

#include <gdk/gdkkeysyms.h>
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// 1000 sectors with one partition over 100..599; the model and serial are no markup.
Drive sample_drive(const char* warning = "") {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive3");
  drive.set_sectors(1000);
  drive.set_sector_size(512);
  drive.set_model("A&B <i>Disk</i>");
  drive.set_serial("S<1>");
  drive.set_warning(warning);
  drive.set_partitions({partition("256.0KB (Drive G:)", 100, 500)});
  return drive;
}

// A button's label as it shows, without the mark of its mnemonic.
std::string without_mnemonic(const char* label) {
  std::string text;
  for (const char* c = label; *c != '\0'; ++c)
    if (*c != '_')
      text += *c;
  return text;
}

MainLog::Entry history_entry(const Drive& drive) {
  MainLog::Entry entry;
  entry.set_time(1700000000);
  entry.set_model(drive.model());
  entry.set_serial(drive.serial());
  entry.set_wipe_method("Forward");
  entry.set_wipe_sectors(drive.sectors());
  return entry;
}

class WipeUITest : public WindowTest, public WipeUI::Callback {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    // A stand-in sound player that writes down each sound it is given.
    const std::string player = dir.file("tonlet");
    std::ofstream(player) << "#!/bin/sh\necho \"$1\" >> '" << dir.file("sounds") << "'\n";
    std::filesystem::permissions(player, std::filesystem::perms::owner_all);
    program_config().set("Program Path", dir.path().string());
    Settings& settings = Settings::instance();
    settings.set_notifier_error_arg("error.wav");
    settings.set_notifier_done_arg("done.wav");
    open(sample_drive());
  }
  void TearDown() override {
    panel.reset();
    WindowTest::TearDown();
  }

  void open(const Drive& drive) {
    panel.reset(); // its widget leaves the window with it
    panel = std::make_unique<WipeUI>(factory, drive, 0, drive.sectors(), window);
    panel->set_callback(this);
    gtk_container_add(GTK_CONTAINER(window), panel->widget());
    gtk_widget_show(window);
    panel->select();
    flush_events();
  }

  // The task's side.
  void close() override { told.push_back("close"); }
  void light_changed() override {
    told.push_back("light " + std::to_string(static_cast<int>(panel->light())));
  }
  void percent_changed() override { told.push_back("percent " + std::to_string(panel->percent())); }
  void area_wiped(std::uint64_t lba, std::uint64_t sectors) override {
    told.push_back("area " + std::to_string(lba) + " " + std::to_string(sectors));
  }
  void wipe_all(const WipeOptions& options) override {
    told.push_back("wipe all " + std::to_string(options.mode()));
  }

  FakeWipeModel& model() { return *factory.last; }
  GtkWidget* find(const char* id) { return widget_by_id(panel->widget(), id); }
  std::string label(const char* id) { return gtk_label_get_text(GTK_LABEL(find(id))); }
  // The text that the button shows (without the mark of its mnemonic).
  std::string button_label(const char* id) {
    return gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(find(id)))));
  }
  std::string name(const char* id) { return gtk_widget_get_name(find(id)); }
  bool sensitive(const char* id) { return gtk_widget_get_sensitive(find(id)) != FALSE; }
  void click(const char* id) { gtk_button_clicked(GTK_BUTTON(find(id))); }
  double spin(const char* id) { return gtk_spin_button_get_value(GTK_SPIN_BUTTON(find(id))); }
  int area_item() { return gtk_combo_box_get_active(GTK_COMBO_BOX(find("wipeArea"))); }

  // The sounds played so far, once `count` of them have been.
  std::vector<std::string> sounds(std::size_t count) {
    std::vector<std::string> played;
    run_loop(
        [&] {
          played.clear();
          std::ifstream record(dir.file("sounds"));
          for (std::string line; std::getline(record, line);)
            played.push_back(line);
          return played.size() >= count;
        },
        5 * G_USEC_PER_SEC);
    return played;
  }
  std::string sound(const char* file) { return dir.file(file); }

  LogCapture log; // the players' ends and other lines of the debug log
  TempDir dir;
  FakeWipeModelFactory factory;
  std::unique_ptr<WipeUI> panel;
  std::vector<std::string> told;
};

} // namespace

TEST_F(WipeUITest, ANewPanelIsReady) {
  EXPECT_EQ(panel->kind(), "wipe");
  EXPECT_EQ(factory.drive.id(), "\\\\.\\PhysicalDrive3");
  EXPECT_EQ(std::string(gtk_widget_get_name(panel->widget())), "WipeUI");
  for (const char* id :
       {"toggle", "message", "wipeAll", "fillPatternFromFile", "logFile", "bottom"})
    EXPECT_EQ(name(id), id);
  EXPECT_EQ(label("message"), "READY - Press [START] to run wipe");
  EXPECT_EQ(panel->status_text(), "READY - Press [START] to run wipe");
  EXPECT_EQ(button_label("start"), "START");
  EXPECT_EQ(button_label("stop"), "CLOSE");
  EXPECT_EQ(name("stop"), "cancel");
  EXPECT_EQ(panel->light(), DriveLight::Ready);
  EXPECT_EQ(area_item(), 0);
  EXPECT_EQ(spin("wipeSectors"), 1000);
  // The settings' options are the panel's.
  EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(find("fillPattern")))), "\\x00");
  EXPECT_TRUE(model().calls().empty());
  panel.reset();
  EXPECT_TRUE(factory.lastGone);
}

TEST_F(WipeUITest, TheSettingsOptionsAreLoaded) {
  WipeOptions options;
  options.set_mode(10);
  options.set_ignore_write_errors(true);
  Settings::instance().set_wipe_options(options);
  open(sample_drive());
  EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(find("operationMode"))), 10);
  EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(find("ignoreWriteErrors"))));
  // Loading is no operator's change: the model keeps its own options until START.
  EXPECT_FALSE(model().options().ignore_write_errors());
}

// Every model state: the status line, the two buttons, the task's light, what can be edited,
// and the sound.
TEST_F(WipeUITest, EveryModelStateAsThePanelShowsIt) {
  const std::string progress = "WIPING - 50% | 256.0KB | LBA: 500 | 0 errors";
  // clang-format off
  const struct {
    WipeModel::State state;
    const char* message;
    const char* first;
    const char* firstName;
    const char* second;
    bool secondSensitive;
    DriveLight light;
    bool editable;
    const char* sound; // played on entering the state, or ""
  } rows[] = {
      {WipeModel::State::Wiping,  "{P}",           "PAUSE",    "pause",    "CANCEL", true,  DriveLight::Busy,     false, ""},
      {WipeModel::State::Paused,  "{P} (PAUSED)",  "RESUME",   "resume",   "CANCEL", true,  DriveLight::Ready,    false, ""},
      {WipeModel::State::Wiping,  "{P}",           "PAUSE",    "pause",    "CANCEL", true,  DriveLight::Busy,     false, ""},
      {WipeModel::State::Done,    "{P}",           "CONTINUE", "continue", "CANCEL", false, DriveLight::Finished, false, "done.wav"},
      {WipeModel::State::Waiting, "{P}",           "CONTINUE", "continue", "CANCEL", true,  DriveLight::Waiting,  false, "error.wav"},
      {WipeModel::State::Idle,    "READY - Press [START] to run wipe",
                                            "START",    "start",    "CLOSE",  true,  DriveLight::Ready,    true,  ""},
  };
  // clang-format on
  std::vector<std::string> played;
  model().show_status(progress);
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.state));
    told.clear();
    model().set_state(row.state);
    std::string message = row.message;
    if (message.rfind("{P}", 0) == 0)
      message.replace(0, 3, progress);
    EXPECT_EQ(label("message"), message);
    EXPECT_EQ(button_label("start"), row.first);
    EXPECT_EQ(name("start"), row.firstName);
    EXPECT_TRUE(sensitive("start"));
    EXPECT_EQ(button_label("stop"), row.second);
    EXPECT_EQ(name("stop"), "cancel");
    EXPECT_EQ(sensitive("stop"), row.secondSensitive);
    EXPECT_EQ(panel->light(), row.light);
    EXPECT_EQ(told,
              std::vector<std::string>{"light " + std::to_string(static_cast<int>(row.light))});
    for (const char* id : {"wipeArea", "wipeStart", "wipeSectors", "wipeFinish", "operationMode",
                           "sectorsPerTime", "fillPattern", "jumpSectors", "jumpDouble"})
      EXPECT_EQ(sensitive(id), row.editable) << id;
    for (const char* id : {"ignoreWriteErrors", "ignoreReadErrors", "ignoreCompareErrors"})
      EXPECT_TRUE(sensitive(id)) << id;
    if (*row.sound != '\0')
      played.push_back(sound(row.sound));
    EXPECT_EQ(sounds(played.size()), played);
  }
  // The model repeats a state before its replies: the row applies again, the sound too.
  // (A new sound ends the player before it, so each is awaited.)
  for (int again = 0; again < 2; ++again) {
    model().set_state(WipeModel::State::Waiting);
    played.push_back(sound("error.wav"));
    EXPECT_EQ(sounds(played.size()), played);
  }
}

// The buttons act by the model's state; CLOSE in Idle is the task's to do.
TEST_F(WipeUITest, TheButtonsActByState) {
  const struct {
    WipeModel::State state;
    const char* button;
    std::vector<std::string> calls;
    std::vector<std::string> told;
  } cases[] = {
      {WipeModel::State::Wiping, "start", {"pause"}, {}},
      {WipeModel::State::Paused, "start", {"start"}, {}},
      {WipeModel::State::Done, "start", {"start"}, {}},
      {WipeModel::State::Waiting, "start", {"start"}, {}},
      {WipeModel::State::Wiping, "stop", {"stop"}, {"light 1"}},
      {WipeModel::State::Paused, "stop", {"stop"}, {"light 1"}},
      {WipeModel::State::Waiting, "stop", {"stop"}, {"light 1"}},
      {WipeModel::State::Idle, "stop", {}, {"close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.state) << " " << c.button);
    model().set_state(c.state);
    model().clear_calls();
    told.clear();
    click(c.button);
    EXPECT_EQ(model().calls(), c.calls);
    EXPECT_EQ(told, c.told);
  }
}

// After a wipe that was stopped on its way, Idle says so instead of the READY line, for as long
// as the model keeps its note.
TEST_F(WipeUITest, AStoppedWipeIsNotShownAsUntouched) {
  const std::string note =
      "CANCELLED - The drive is only partly wiped: PASS 17 stopped at LBA 123456789";
  model().show_status("PASS 17 - 35% | 175.0KB | LBA: 123456789 | 0 errors");
  model().set_state(WipeModel::State::Wiping);
  model().leave_note(note);
  click("stop");
  EXPECT_EQ(label("message"), note);
  EXPECT_EQ(panel->status_text(), note);
  EXPECT_EQ(button_label("start"), "START");
  EXPECT_EQ(panel->light(), DriveLight::Ready);
  save_screenshot(panel->widget(), "WipeUI-cancelled");
  // Armed and cancelled again before anything was sent: still said.
  click("start");
  click("stop");
  EXPECT_EQ(label("message"), note);
  model().leave_note("");
  model().set_state(WipeModel::State::Idle);
  EXPECT_EQ(label("message"), "READY - Press [START] to run wipe");
}

// CONTINUE ends what the status line asked or told (the READY question, an error, the end of a
// wipe); the next progress line fills it. RESUME keeps the last progress.
TEST_F(WipeUITest, ContinueClearsTheStatusUntilTheNextProgress) {
  const std::string progress = "WIPING - 50% | 256.0KB | LBA: 500 | 0 errors";
  const struct {
    WipeModel::State state;
    const char* status;
    const char* after;
  } cases[] = {
      {WipeModel::State::Waiting, "READY - Data on this drive will be lost. Are you sure?", ""},
      {WipeModel::State::Waiting, "ERROR - Write failed (LBA: 5, sectors: 1)", ""},
      {WipeModel::State::Done, "DONE - 512.0KB | 1.00 seconds | 0 errors", ""},
      {WipeModel::State::Paused, progress.c_str(), progress.c_str()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    model().show_status(c.status);
    model().set_state(c.state);
    click("start");
    EXPECT_EQ(model().calls().back(), "start");
    model().set_state(WipeModel::State::Wiping); // what the engine's answer brings
    EXPECT_EQ(label("message"), c.after);
    model().show_status(progress);
    EXPECT_EQ(label("message"), progress);
  }
}

// The model refuses to begin a wipe on a drive path that leads to another disk now: a box says
// why and what to do.
TEST_F(WipeUITest, ARefusalOfTheModelIsShownInABox) {
  const std::string reason =
      "\\\\.\\PhysicalDrive3 is no longer the drive this task was opened for: it was A&B "
      "<i>Disk</i> / S<1>, 1000 sectors of 512 bytes, it is now OTHER / X9, 2048 sectors of 512 "
      "bytes.";
  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "WipeUI-refusal"); })
      .click("close");
  model().show_refusal(reason);
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Error");
  EXPECT_EQ(answers.seen()[0].text,
            reason + "\n\nClose this task and open the drive's icon again.");
}

// A history entry with bytes that are not UTF-8 is shown, with those bytes replaced, rather
// than dropped by GTK.
TEST_F(WipeUITest, AHistoryEntryThatIsNotUtf8IsShown) {
  MainLog::Entry entry = history_entry(sample_drive());
  entry.set_wipe_method("M\xe9thode \xff");
  MainLog::instance().add(entry);
  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "WipeUI-already-wiped"); })
      .click("gtk-no");
  click("start");
  ASSERT_EQ(answers.seen().size(), 1u);
  const std::string text = answers.seen()[0].text;
  EXPECT_EQ(text.rfind("This drive was already wiped.", 0), 0u) << text;
  EXPECT_NE(text.find("WIPE METHOD: M\xef\xbf\xbdthode \xef\xbf\xbd\n"), std::string::npos) << text;
  EXPECT_TRUE(model().calls().empty());
}

TEST_F(WipeUITest, StartAsksWhatItMustBeforeArming) {
  enum Warning { NoWarning, NotAllowed, Asked };
  const Drive plain = sample_drive();
  // The entry's lines are set in as a list, each in a label of its own, without its blanks.
  std::string entry = history_entry(plain).to_text();
  for (std::size_t at = 0; (at = entry.find("\n  ", at)) != std::string::npos;)
    entry.erase(at + 1, 2);
  const std::string already = "This drive was already wiped.\n\nWipe Log (last drive event):\n" +
                              entry + "\n\nAre you sure you want to continue?";
  const std::string warned = "A&B <i>Disk</i> / S<1> is a System Drive";
  const struct {
    const char* what;
    const char* pattern;
    bool inHistory;
    Warning warning;
    std::vector<std::string> answers; // buttons, in order
    std::vector<std::string> seen;    // the texts of the boxes answered
    bool armed;
  } cases[] = {
      {"a bad pattern is the editor's message alone",
       "",
       true,
       Asked,
       {"close"},
       {"Invalid pattern"},
       false},
      {"nothing to ask", "\\x00", false, NoWarning, {}, {}, true},
      {"a wiped drive: No", "\\x00", true, NoWarning, {"gtk-no"}, {already}, false},
      {"a wiped drive: Yes", "\\x00", true, NoWarning, {"gtk-yes"}, {already}, true},
      {"a warned drive the configuration refuses",
       "\\x00",
       false,
       NotAllowed,
       {"close"},
       {warned + "\n\nWipe is not allowed."},
       false},
      {"a warned drive: Yes",
       "\\x00",
       false,
       Asked,
       {"gtk-yes"},
       {warned + "\n\nAre you sure you want to continue?"},
       true},
      {"a wiped and warned drive: Yes, then No",
       "\\x00",
       true,
       Asked,
       {"gtk-yes", "gtk-no"},
       {already, warned + "\n\nAre you sure you want to continue?"},
       false},
      {"a wiped and warned drive: Yes twice",
       "\\x00",
       true,
       Asked,
       {"gtk-yes", "gtk-yes"},
       {already, warned + "\n\nAre you sure you want to continue?"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MainLog::instance().assign({});
    if (c.inHistory)
      MainLog::instance().add(history_entry(plain));
    program_config().set("Program Path", dir.path().string());
    if (c.warning == Asked)
      program_config()["wipe"]["stop at drive warning"] = false;
    else if (program_config().has("wipe"))
      program_config()["wipe"]["stop at drive warning"] = true;
    open(sample_drive(c.warning == NoWarning ? "" : "System Drive"));
    gtk_entry_set_text(GTK_ENTRY(find("fillPattern")), c.pattern);
    {
      DialogResponder answers;
      for (const std::string& answer : c.answers) {
        if (answer == "close")
          answers.close();
        else
          answers.click(answer);
      }
      click("start");
      ASSERT_EQ(answers.seen().size(), c.seen.size());
      for (std::size_t i = 0; i < c.seen.size(); ++i)
        EXPECT_EQ(answers.seen()[i].text, c.seen[i]);
    }
    if (!c.armed) {
      EXPECT_TRUE(model().calls().empty());
      EXPECT_EQ(model().state(), WipeModel::State::Idle);
      EXPECT_EQ(button_label("start"), "START");
      continue;
    }
    EXPECT_EQ(model().calls(), std::vector<std::string>{"arm 0 1000 0"});
    EXPECT_EQ(label("message"), "READY - Data on this drive will be lost. Are you sure?");
    EXPECT_EQ(button_label("start"), "CONTINUE");
    EXPECT_EQ(button_label("stop"), "CANCEL");
    EXPECT_EQ(panel->light(), DriveLight::Waiting);
    EXPECT_EQ(sounds(1), std::vector<std::string>{sound("error.wav")});
    click("stop");
    EXPECT_EQ(model().state(), WipeModel::State::Idle);
    EXPECT_EQ(button_label("start"), "START");
    std::filesystem::remove(dir.file("sounds"));
  }
}

// A wipe history that cannot be written is said before the wipe, naming the file and why: the
// operator may still wipe, unrecorded, or not.
TEST_F(WipeUITest, StartSaysWhenTheHistoryCannotBeWritten) {
  const std::string path = dir.file("missing/WipeLog.cfg");
  const std::string question = "The wipe log " + path +
                               " cannot be written: " + g_strerror(ENOENT) +
                               ".\n\nThis wipe will not be recorded in it.\n\nAre you sure you "
                               "want to continue?";
  MainLog::instance().assign({});
  MainLog::instance().keep_in(GuardedFile::in_folder(dir.file("missing"), "WipeLog.cfg"), nullptr);
  for (const char* answer : {"gtk-no", "gtk-yes"}) {
    SCOPED_TRACE(answer);
    open(sample_drive());
    DialogResponder answers;
    answers.click(answer);
    click("start");
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Warning");
    EXPECT_EQ(answers.seen()[0].text, question);
    const bool armed = std::string(answer) == "gtk-yes";
    EXPECT_EQ(model().calls(),
              armed ? std::vector<std::string>{"arm 0 1000 0"} : std::vector<std::string>{});
  }
  {
    open(sample_drive());
    DialogResponder answers;
    answers
        .then([](GtkWindow* box) {
          save_screenshot(GTK_WIDGET(box), "WipeUI-history-cannot-be-written");
        })
        .click("gtk-no");
    click("start");
  }
  // Once the folder is there, nothing is asked.
  std::filesystem::create_directory(dir.file("missing"));
  MainLog::instance().keep_in(GuardedFile::in_folder(dir.file("missing"), "WipeLog.cfg"), nullptr);
  open(sample_drive());
  DialogResponder answers;
  click("start");
  EXPECT_TRUE(answers.seen().empty());
  EXPECT_EQ(model().calls(), std::vector<std::string>{"arm 0 1000 0"});
  MainLog::instance().keep_in(GuardedFile(), nullptr);
}

namespace {

// What the X server sends for a mouse click on `button`: the pointer enters, button 1 goes
// down and, unless `release` is false, up again, all at `time` (the server's milliseconds; 0
// for none). GTK makes "clicked" of the release.
void mouse_on(GtkWidget* button, bool press, bool release, guint32 time = 0) {
  GdkWindow* window = GTK_BUTTON(button)->event_window;
  std::vector<GdkEventType> types;
  if (press)
    types = {GDK_ENTER_NOTIFY, GDK_BUTTON_PRESS};
  if (release)
    types.push_back(GDK_BUTTON_RELEASE);
  for (GdkEventType type : types) {
    GdkEvent* event = gdk_event_new(type);
    if (type == GDK_ENTER_NOTIFY) {
      event->crossing.window = GDK_WINDOW(g_object_ref(window));
      event->crossing.detail = GDK_NOTIFY_ANCESTOR;
      event->crossing.time = time;
    } else {
      event->button.window = GDK_WINDOW(g_object_ref(window));
      event->button.button = 1;
      event->button.time = time;
    }
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
}

} // namespace

// START turns CONTINUE where the pointer is: the second press of a double-click on START must
// not start the wipe. Presses count from when they went down (by the server's clock when the
// events carry its time, so that a busy program that sees them late still sees a double-click);
// a click without a press (the keyboard) from when it comes.
TEST_F(WipeUITest, TheSecondPressOfADoubleClickOnStartStartsNothing) {
  GtkWidget* start = find("start");
  const struct {
    const char* what;
    bool wait;        // the double-click time passes after the arming
    bool mouse;       // a press and a release, else a click without a press
    bool waitInPress; // the double-click time passes while the button is held down
    guint32 gap;      // milliseconds between the two presses by the server's clock; 0: no time
    bool starts;
  } cases[] = {
      {"a double-click", false, true, false, 0, false},
      {"a quick second click by the keyboard", false, false, false, 0, false},
      {"a second press held past the double-click time", false, true, true, 0, false},
      {"a double-click that a busy program sees late", true, true, false, 120, false},
      {"a deliberate click", true, true, false, 0, true},
      {"a deliberate click that a busy program sees at once", false, true, false, 600, true},
      {"a deliberate click by the keyboard", true, false, false, 0, true},
  };
  guint32 time = 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    model().clear_calls();
    time += 10000;
    mouse_on(start, true, true, c.gap != 0 ? time : 0);
    ASSERT_EQ(button_label("start"), "CONTINUE");
    if (c.wait)
      wait_past_double_click();
    if (!c.mouse) {
      click("start");
    } else if (c.waitInPress) {
      mouse_on(start, true, false);
      wait_past_double_click();
      mouse_on(start, false, true);
    } else {
      mouse_on(start, true, true, c.gap != 0 ? time + c.gap : 0);
    }
    std::vector<std::string> expected = {"arm 0 1000 0"};
    if (c.starts)
      expected.push_back("start");
    EXPECT_EQ(model().calls(), expected);
    EXPECT_EQ(model().state(), WipeModel::State::Waiting);
    click("stop");
    ASSERT_EQ(model().state(), WipeModel::State::Idle);
  }
}

namespace {

// One step of the keyboard on the focused START: a key going down (a press, or the key's
// auto-repeat, which brings presses without releases) or up, `at` milliseconds after the case
// began, by the server's clock and by the program's alike.
struct Key {
  bool down;
  guint keyval;
  guint32 at;
};
Key down(guint keyval, guint32 at) { return {true, keyval, at}; }
Key up(guint keyval, guint32 at) { return {false, keyval, at}; }

// Sends `key` to `window` when its time has come after `began` (monotonic), with the server's
// time `base` + its time; the main loop runs meanwhile.
void key_on(GtkWidget* window, const Key& key, gint64 began, guint32 base) {
  run_loop([&] { return g_get_monotonic_time() >= began + gint64{key.at} * 1000; });
  GdkEvent* event = gdk_event_new(key.down ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->key.send_event = TRUE;
  event->key.time = base + key.at;
  event->key.keyval = key.keyval;
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), key.keyval, &keys, &count) &&
      count > 0)
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  g_free(keys);
  gtk_main_do_event(event);
  gdk_event_free(event);
  flush_events();
}

} // namespace

// START by the keyboard: a held key clicks once (the button clicks by itself while a key holds
// it down), its repeats never confirm; nor does a quick run of presses, nor a press made while
// START's key is still down. CONTINUE takes a press that began after the key was released,
// with a pause between that a double-click has not.
TEST_F(WipeUITest, AHeldOrHurriedKeyNeverConfirmsTheWipe) {
  GtkWidget* start = find("start");
  gtk_widget_grab_focus(start);
  give_keyboard_to(window);
  const guint space = GDK_space, enter = GDK_Return;
  const struct {
    const char* what;
    std::vector<Key> keys; // the arming included
    bool starts;
  } cases[] = {
      {"space held, repeating",
       {down(space, 0), down(space, 660), down(space, 700), down(space, 740), down(space, 1100),
        up(space, 1200)},
       false},
      {"return held, repeating",
       {down(enter, 0), down(enter, 660), down(enter, 700), up(enter, 1000)},
       false},
      {"four presses 130 ms apart",
       {down(space, 0), up(space, 60), down(space, 130), up(space, 190), down(space, 260),
        up(space, 320), down(space, 390), up(space, 450)},
       false},
      {"return while space still holds START",
       {down(space, 0), down(enter, 800), up(enter, 850), up(space, 1200)},
       false},
      {"a press at once after the held key's release",
       {down(space, 0), up(space, 700), down(space, 800), up(space, 850)},
       false},
      {"a deliberate second press",
       {down(space, 0), up(space, 80), down(space, 600), up(space, 680)},
       true},
      {"a deliberate press after a held key",
       {down(enter, 0), down(enter, 660), up(enter, 700), down(enter, 1100), up(enter, 1150)},
       true},
  };
  guint32 base = 100000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    model().clear_calls();
    base += 100000;
    const gint64 began = g_get_monotonic_time();
    for (const Key& key : c.keys)
      key_on(window, key, began, base);
    // The click that a key held down would still make.
    run_loop([] { return false; }, 350 * 1000);
    std::vector<std::string> expected = {"arm 0 1000 0"};
    if (c.starts)
      expected.push_back("start");
    EXPECT_EQ(model().calls(), expected);
    EXPECT_EQ(model().state(), WipeModel::State::Waiting);
    click("stop");
    ASSERT_EQ(model().state(), WipeModel::State::Idle);
  }
}

TEST_F(WipeUITest, StartArmsTheChosenAreaWithTheEditorsOptions) {
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("wipeArea")), 1);
  EXPECT_EQ(spin("wipeStart"), 100);
  EXPECT_EQ(spin("wipeSectors"), 500);
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("operationMode")), 2);
  gtk_entry_set_text(GTK_ENTRY(find("fillPattern")), "Z");
  click("start");
  EXPECT_EQ(model().calls(), std::vector<std::string>{"arm 100 500 2"});
  EXPECT_EQ(model().options().pattern(), "Z");
  EXPECT_EQ(model().lba(), 100u);
  EXPECT_EQ(model().sectors(), 500u);
}

TEST_F(WipeUITest, TheAreaItemFollowsTheRange) {
  // "Custom area" leaves the range as it was.
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("wipeArea")), 2);
  EXPECT_EQ(spin("wipeStart"), 0);
  EXPECT_EQ(spin("wipeSectors"), 1000);
  // Typing a partition's range selects its item; any other range is "Custom area".
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(find("wipeStart")), 100);
  EXPECT_EQ(area_item(), 2);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(find("wipeSectors")), 500);
  EXPECT_EQ(area_item(), 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(find("wipeFinish")), 998);
  EXPECT_EQ(area_item(), 2);
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("wipeArea")), 0);
  EXPECT_EQ(spin("wipeStart"), 0);
  EXPECT_EQ(spin("wipeFinish"), 999);
}

TEST_F(WipeUITest, PausingShowsTheLastProgress) {
  model().set_state(WipeModel::State::Wiping);
  model().show_status("WIPING - 12%");
  model().set_state(WipeModel::State::Paused);
  EXPECT_EQ(label("message"), "WIPING - 12% (PAUSED)");
  EXPECT_EQ(panel->status_text(), "WIPING - 12%");
  model().set_state(WipeModel::State::Wiping);
  EXPECT_EQ(label("message"), "WIPING - 12%");
  model().show_status("WIPING - 13%");
  EXPECT_EQ(label("message"), "WIPING - 13%");
}

TEST_F(WipeUITest, ProgressAndAreasReachTheTask) {
  model().show_percent(42);
  EXPECT_EQ(panel->percent(), 42);
  model().show_area(100, 256);
  EXPECT_EQ(told, (std::vector<std::string>{"percent 42", "area 100 256"}));
}

TEST_F(WipeUITest, IgnoreChoicesReachTheModelDuringAWipe) {
  model().set_state(WipeModel::State::Wiping);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find("ignoreReadErrors")), TRUE);
  EXPECT_TRUE(model().options().ignore_read_errors());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find("ignoreCompareErrors")), TRUE);
  EXPECT_TRUE(model().options().ignore_compare_errors());
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(find("ignoreReadErrors")), FALSE);
  EXPECT_FALSE(model().options().ignore_read_errors());
  EXPECT_TRUE(model().calls().empty());
}

TEST_F(WipeUITest, WipeAllHandsTheOptionsToTheTask) {
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("operationMode")), 10);
  click("wipeAll");
  EXPECT_EQ(told, std::vector<std::string>{"wipe all 10"});
  told.clear();
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("operationMode")), 0);
  gtk_entry_set_text(GTK_ENTRY(find("fillPattern")), "");
  DialogResponder answers;
  answers.close();
  click("wipeAll");
  EXPECT_TRUE(told.empty());
  panel->set_callback(nullptr);
  click("wipeAll"); // nobody to hand them to: not even the check
}

TEST_F(WipeUITest, ArmAndStartNowTakesTheEditorsOptions) {
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("operationMode")), 1);
  panel->arm(WipeUI::Arm::AndStart);
  EXPECT_EQ(model().calls(), (std::vector<std::string>{"arm 0 1000 1", "start"}));
  model().clear_calls();
  model().set_state(WipeModel::State::Idle);
  // A refused pattern: its message, then the model's options as they were.
  gtk_combo_box_set_active(GTK_COMBO_BOX(find("operationMode")), 0);
  gtk_entry_set_text(GTK_ENTRY(find("fillPattern")), "");
  DialogResponder answers;
  answers.close();
  panel->arm(WipeUI::Arm::AndStart);
  EXPECT_EQ(model().calls(), (std::vector<std::string>{"arm 0 1000 1", "start"}));
}

// When a wipe is done the whole history goes to the export files the settings name; a file that
// cannot be written is reported, both in one box.
TEST_F(WipeUITest, AFinishedWipeExportsTheHistory) {
  MainLog::instance().add(history_entry(sample_drive()));
  Settings::instance().set_export_csv(dir.file("WipeLog.csv"));
  Settings::instance().set_export_txt(dir.file("WipeLog.txt"));
  model().set_state(WipeModel::State::Done);
  auto content = [](const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  };
  EXPECT_EQ(content(dir.file("WipeLog.csv")), MainLog::instance().to_csv());
  EXPECT_EQ(content(dir.file("WipeLog.txt")), MainLog::instance().to_text());

  const std::string csv = dir.file("missing <&> folder/WipeLog.csv");
  const std::string txt = dir.file("missing <&> folder/WipeLog.txt");
  Settings::instance().set_export_csv(csv);
  Settings::instance().set_export_txt(txt);
  DialogResponder answers;
  answers.close();
  model().set_state(WipeModel::State::Done);
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Error");
  EXPECT_EQ(answers.seen()[0].text, "Export CSV automatically (Wipe Log)\nCannot save file\n(" +
                                        csv +
                                        ")\n\nExport TXT automatically (Wipe Log)\nCannot save "
                                        "file\n(" +
                                        txt + ")");
  EXPECT_EQ(button_label("start"), "CONTINUE");
}

// Under pkexec, an export into the operator's folders is the operator's file, one elsewhere stays
// the program's. Changing owners needs root.
TEST_F(WipeUITest, ExportsInTheOperatorsFoldersAreTheirs) {
  if (geteuid() != 0)
    GTEST_SKIP() << "giving a file to another user needs root";
  ElevatedOperator person;
  MainLog::instance().add(history_entry(sample_drive()));
  Settings::instance().set_export_csv(person.home() + "/WipeLog.csv");
  Settings::instance().set_export_txt(person.outside() + "/WipeLog.txt");
  model().set_state(WipeModel::State::Done);
  struct stat status {};
  ASSERT_EQ(::stat((person.home() + "/WipeLog.csv").c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, person.uid());
  ASSERT_EQ(::stat((person.outside() + "/WipeLog.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
}

TEST_F(WipeUITest, TheLogButtonShowsTheTasksLog) {
  model().log().add("first line of the task");
  DialogResponder answers;
  answers.close();
  click("logFile");
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Task Log");
}

TEST_F(WipeUITest, TheOptionsPartFollowsTheToggleInEveryPanel) {
  FakeWipeModelFactory otherFactory;
  WipeUI other(otherFactory, sample_drive(), 0, 1000, window);
  GtkWidget* otherWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(otherWindow), other.widget());
  gtk_widget_show(otherWindow);
  other.select();
  GtkWidget* otherBottom = widget_by_id(other.widget(), "bottom");
  EXPECT_TRUE(gtk_widget_get_visible(find("bottom")));
  click("toggle");
  EXPECT_FALSE(gtk_widget_get_visible(find("bottom")));
  EXPECT_TRUE(gtk_widget_get_visible(otherBottom));
  other.select();
  EXPECT_FALSE(gtk_widget_get_visible(otherBottom));
  panel->deselect();
  EXPECT_FALSE(gtk_widget_get_visible(find("top")));
  click("toggle");
  panel->select();
  EXPECT_TRUE(gtk_widget_get_visible(find("top")));
  EXPECT_TRUE(gtk_widget_get_visible(find("bottom")));
  gtk_widget_destroy(otherWindow);
}

// The real wipe task model and engine on a simulated machine: START, CONTINUE, the wipe runs to
// its end, the history is exported, CONTINUE brings the panel back to START, and the next START
// knows the drive was wiped. Every status line on the way is in the operator's language but for
// the word DONE, which stays as it is: the build runs this test in German too.
TEST_F(WipeUITest, ARealWipeFromStartToTheExports) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 1048576, "image": "disk0.img",
                                         "product": "SIMULATED DISK", "serial": "SIM0001" } ])");
  std::ofstream(machine.image("disk0.img"), std::ios::binary) << std::string(1048576, '\xaa');
  program_config().set("Driver", CVWDRV_PATH);
  program_config()["wipe"]["command"] = config::Value(config::Value::Object);
  Settings::instance().set_export_csv(dir.file("WipeLog.csv"));
  Settings::instance().set_export_txt(dir.file("WipeLog.txt"));
  WipeModelFactoryImpl realFactory(program_config());
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(2048);
  drive.set_sector_size(512);
  drive.set_model("SIMULATED DISK");
  drive.set_serial("SIM0001");
  panel.reset(); // its widget leaves the window with it
  panel = std::make_unique<WipeUI>(realFactory, drive, 0, drive.sectors(), window);
  panel->set_callback(this);
  gtk_container_add(GTK_CONTAINER(window), panel->widget());
  panel->select();
  std::vector<std::string> lines; // each status line shown
  g_signal_connect(find("message"), "notify::label",
                   G_CALLBACK(+[](GObject* message, GParamSpec*, gpointer shown) {
                     const char* line = gtk_label_get_text(GTK_LABEL(message));
                     if (*line != '\0')
                       static_cast<std::vector<std::string>*>(shown)->push_back(line);
                   }),
                   &lines);

  click("start");
  EXPECT_EQ(panel->wipe_state(), WipeModel::State::Waiting);
  EXPECT_EQ(button_label("start"), without_mnemonic(gettext("CONT_INUE")));
  wait_past_double_click();
  click("start");
  ASSERT_TRUE(
      run_loop([&] { return panel->wipe_state() == WipeModel::State::Done; }, 30 * G_USEC_PER_SEC))
      << log.text();
  // The word DONE itself stays as it is in every language; its figures are translated.
  EXPECT_EQ(label("message").rfind("DONE - ", 0), 0u) << label("message");
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), gettext("READY - Data on this drive will be lost. Are you sure?"));
  EXPECT_TRUE(lines.back().ends_with(" | " + format(gettext("%1 errors"), "0") + " " +
                                     gettext("(Certificate)")))
      << lines.back();
  // "1.00 seconds", whose number and word the translation may order otherwise.
  EXPECT_NE(lines.back().find(format(gettext("%1 seconds"), "")), std::string::npos)
      << lines.back();
  EXPECT_FALSE(sensitive("stop"));
  EXPECT_EQ(panel->light(), DriveLight::Finished);
  EXPECT_EQ(panel->percent(), 100);
  std::ifstream image(machine.image("disk0.img"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(image)),
                          std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string(1048576, '\0'));
  std::ifstream csv(dir.file("WipeLog.csv"));
  const std::string exported((std::istreambuf_iterator<char>(csv)),
                             std::istreambuf_iterator<char>());
  EXPECT_EQ(exported, MainLog::instance().to_csv());
  EXPECT_NE(exported.find("SIM0001"), std::string::npos) << exported;

  click("start"); // CONTINUE: the engine is answered and the model is idle again
  ASSERT_TRUE(
      run_loop([&] { return panel->wipe_state() == WipeModel::State::Idle; }, 30 * G_USEC_PER_SEC));
  EXPECT_EQ(button_label("start"), without_mnemonic(gettext("_START")));
  EXPECT_EQ(lines.back(), gettext("READY - Press [START] to run wipe"));

  DialogResponder answers;
  answers.click("gtk-no");
  click("start");
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text.rfind(gettext("This drive was already wiped."), 0), 0u);
  EXPECT_EQ(panel->wipe_state(), WipeModel::State::Idle);
}
