// The wipe history kept in its file while the program runs: a failed save told once until a
// save succeeds again, the save at the end; and the program ended by the system (SIGTERM,
// SIGHUP) as a quit ends it, with its open dialogs answered and the history saved.
#include "app/HistoryKeeper.h"

#include "DialogResponder.h"
#include "FakeEngine.h"
#include "Files.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "Screenshot.h"
#include "TestMachine.h"
#include "TopUIFixture.h"
#include "WipeModel.h"
#include "app/EndOnRequest.h"
#include "app/EndRequests.h"
#include "gtk/MessageBox.h"

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

MainLog::Entry wiped(const std::string& serial) {
  MainLog::Entry entry;
  entry.set_time(1700000000);
  entry.set_model("Model");
  entry.set_serial(serial);
  entry.set_wipe_method("Forward");
  entry.set_wipe_sectors(2048);
  return entry;
}

// What the file holds now; "" when there is none.
std::string file_text(const std::string& path) {
  std::string text;
  read_file(path, text);
  return text;
}

// Lets every idle callback and timer that is due run.
void turn_the_loop() {
  run_loop([] { return false; }, 50 * 1000);
}

using HistoryKeeperTest = TopUIFixture;

} // namespace

// A save fails while a folder stands at the file's name, which no rename replaces.
TEST_F(HistoryKeeperTest, AFailedSaveIsToldOnceUntilASaveSucceeds) {
  MainLog history;
  const std::string path = dir.file("WipeLog.cfg");
  const std::string told = "The wipe log cannot be saved to " + path +
                           ".\n\nThe finished wipes are kept in memory and saved again after the "
                           "next wipe and when the program ends.";
  HistoryKeeper keeper(history, GuardedFile::in_folder(dir.path(), "WipeLog.cfg"),
                       GTK_WINDOW(window));
  LogCapture log;
  DialogResponder answers;
  answers.click("close").click("close");

  // Three wipes, one box.
  std::filesystem::create_directory(path);
  for (const char* serial : {"1", "2", "3"}) {
    history.add(wiped(serial));
    turn_the_loop();
  }
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, told);

  // Saved again: the file holds every wipe at once.
  std::filesystem::remove(path);
  history.add(wiped("4"));
  turn_the_loop();
  EXPECT_NE(file_text(path).find("\"serial\":\"4\""), std::string::npos);
  EXPECT_NE(file_text(path).find("\"serial\":\"1\""), std::string::npos);
  EXPECT_EQ(answers.seen().size(), 1u);

  // A new failure after a success is told again.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  history.add(wiped("5"));
  history.add(wiped("6"));
  turn_the_loop();
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[1].text, told);
}

TEST_F(HistoryKeeperTest, TheSaveAtTheEndTellsItsFailureUnlessTheSystemEnded) {
  MainLog history;
  const std::string path = dir.file("WipeLog.cfg");
  std::filesystem::create_directory(path);
  HistoryKeeper keeper(history, GuardedFile::in_folder(dir.path(), "WipeLog.cfg"),
                       GTK_WINDOW(window));
  LogCapture log;
  history.add(wiped("1")); // its box waits for the main loop, which does not run again
  {
    DialogResponder answers;
    answers.click("close");
    EXPECT_FALSE(keeper.save_at_exit(true));
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].text, "The wipe log cannot be saved to " + path +
                                          ".\n\nThe wipes finished in this session are not "
                                          "recorded in it.");
  }
  // Nobody may be there to answer: no box.
  EXPECT_FALSE(keeper.save_at_exit(false));
  turn_the_loop();

  std::filesystem::remove(path);
  EXPECT_TRUE(keeper.save_at_exit(true));
  EXPECT_NE(file_text(path).find("\"serial\":\"1\""), std::string::npos);
}

// A history file that cannot be written is told at start, naming the file and why, and nothing
// is written by asking; one that can be written is not told. A refused one is told as one that
// cannot be used at all, and then never again: not when a save fails, not at the end.
TEST_F(HistoryKeeperTest, AnUnwritableFileIsToldAtStart) {
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder"));
  const std::string refusal = "it leads to /srv/share/history.cfg: another user may change the "
                              "folder /srv/share";
  const std::string cannotBeWritten = ".\n\nThe wipes finished in this session are not "
                                      "recorded in it until it can be written.";
  const std::string cannotBeUsed = ".\n\nNothing is read from it or written to it: the wipes "
                                   "finished in this session are not recorded in it.";
  const struct {
    const char* name;
    GuardedFile file;
    std::string told; // empty: it can be written
    const char* line;
  } cases[] = {
      {"a pipe", GuardedFile::in_folder(dir.path(), "pipe"),
       " cannot be written: it is not a regular file" + cannotBeWritten, "HistoryKeeper.cpp(60): "},
      {"a folder", GuardedFile::in_folder(dir.path(), "folder"),
       " cannot be written: it is not a regular file" + cannotBeWritten, "HistoryKeeper.cpp(60): "},
      {"refused", GuardedFile::refused(dir.file("WipeLog.cfg"), refusal),
       " cannot be used: " + refusal + cannotBeUsed, "HistoryKeeper.cpp(70): "},
      {"a file that can be written", GuardedFile::in_folder(dir.path(), "WipeLog.cfg"), "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainLog history;
    HistoryKeeper keeper(history, c.file, GTK_WINDOW(window));
    LogCapture log;
    DialogResponder answers;
    if (!c.told.empty())
      answers.click("close");
    EXPECT_EQ(keeper.tell_if_unwritable(), c.told.empty());
    if (c.told.empty()) {
      EXPECT_TRUE(answers.seen().empty());
      EXPECT_FALSE(std::filesystem::exists(c.file.path()));
      continue;
    }
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].text, "The wipe log " + c.file.path() + c.told);
    EXPECT_TRUE(log.text().starts_with(c.line + c.file.path() + ": ")) << log.text();
    if (c.file.has_folder())
      continue;
    history.add(wiped("1"));
    turn_the_loop();
    EXPECT_FALSE(keeper.save_at_exit(true));
    EXPECT_EQ(answers.seen().size(), 1u);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir.file("pipe")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("WipeLog.cfg")));

  for (const auto& [name, file] :
       {std::pair{"cannot-be-written", GuardedFile::in_folder(dir.path(), "pipe")},
        std::pair{"cannot-be-used", GuardedFile::refused(dir.file("WipeLog.cfg"), refusal)}}) {
    MainLog history;
    HistoryKeeper keeper(history, file, GTK_WINDOW(window));
    DialogResponder answers;
    answers
        .then([name = std::string(name)](GtkWindow* box) {
          save_screenshot(GTK_WIDGET(box), "HistoryKeeper-" + name);
        })
        .click("close");
    keeper.tell_if_unwritable();
  }
}

// SIGTERM or SIGHUP while a dialog is open: the history is saved at once, the dialog is
// answered as if closed, and the main loop ends with 128 + the signal's number.
TEST_F(HistoryKeeperTest, TheSystemsRequestEndsTheProgramAsAQuitDoes) {
  for (const int request : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(request);
    top.reset();
    make(table_drives(1));
    MainLog history;
    const std::string path = dir.file("WipeLog.cfg");
    HistoryKeeper keeper(history, GuardedFile::in_folder(dir.path(), "WipeLog.cfg"),
                         GTK_WINDOW(window));
    history.add(wiped("1"));
    std::filesystem::remove(path);
    LogCapture log;
    EndRequests requests;
    EndOnRequest ending(requests, *top, &keeper);

    struct Scene {
      GtkWindow* window;
      int request;
      bool boxEnded = false;
    } scene{GTK_WINDOW(window), request};
    // A question stays open, as one may be when the system shuts down; the request comes
    // while it waits.
    g_idle_add(
        [](gpointer data) -> gboolean {
          auto& scene = *static_cast<Scene*>(data);
          g_timeout_add(
              100,
              [](gpointer data) -> gboolean {
                raise(static_cast<Scene*>(data)->request);
                return FALSE;
              },
              data);
          gtk::message_box(gtk::MessageKind::Question, "Still here?", scene.window,
                           gtk::DefaultButton::No);
          scene.boxEnded = true;
          return FALSE;
        },
        &scene);
    EXPECT_EQ(top->run(), 128 + request);
    EXPECT_TRUE(scene.boxEnded);
    EXPECT_TRUE(ending.requested());
    EXPECT_NE(file_text(path).find("\"serial\":\"1\""), std::string::npos);
    EXPECT_NE(log.text().find("EndOnRequest.cpp(46): " + std::to_string(request) + "\n"),
              std::string::npos)
        << log.text();
  }
}

// Eight engines report their wipes done at the same moment, and the system asks the program to
// end before its main loop has read their lines: the request is served first, yet every wipe
// is in the history and in its file, since what the engines wrote is read before the end.
TEST_F(HistoryKeeperTest, WipesReportedDoneJustBeforeTheSystemsRequestAreRecorded) {
  constexpr int engines = 8;
  std::string machineText = "\"drives\": [";
  std::vector<Drive> drives;
  for (int n = 0; n < engines; ++n) {
    machineText += std::string(n > 0 ? "," : "") + "{\"number\": " + std::to_string(n) +
                   ", \"size\": 1048576, \"product\": \"WD Blue\", \"serial\": \"WX" +
                   std::to_string(n) + "\"}";
    Drive drive;
    drive.set_id("\\\\.\\PhysicalDrive" + std::to_string(n));
    drive.set_sectors(2048);
    drive.set_sector_size(512);
    drive.set_model("WD Blue");
    drive.set_serial("WX" + std::to_string(n));
    drives.push_back(drive);
  }
  TestMachine machine(machineText + "]");
  // Each engine takes its command, waits a moment (so that the test's main loop has stopped
  // before any done comes), reports done for the whole area and marks that it has.
  FakeEngine engine("send \"status\":\"ready\"\n"
                    "expect\n"
                    "send \"set_state\":\"wiping\",\"set_state_index\":0,\"status\":\"update\"\n"
                    "sleep 300\n"
                    "send \"run size\":8192,\"run time\":10,\"status\":\"done\"\n"
                    "touch done\n"
                    "expect\n");
  config::Value configuration;
  ASSERT_TRUE(configuration.parse(R"("wipe":{"command":{}})"));
  configuration.set("Driver", FakeEngine::program());
  WipeModelFactoryImpl factory(configuration);

  make(table_drives(1));
  const std::string path = dir.file("WipeLog.cfg");
  MainLog& history = MainLog::instance();
  HistoryKeeper keeper(history, GuardedFile::in_folder(dir.path(), "WipeLog.cfg"),
                       GTK_WINDOW(window));
  EndRequests requests;
  EndOnRequest ending(requests, *top, &keeper);

  std::vector<std::unique_ptr<WipeModel>> models;
  for (const Drive& drive : drives) {
    models.emplace_back(factory.create(drive));
    models.back()->set_sectors(16);
    models.back()->arm();
    ASSERT_EQ(models.back()->state(), WipeModel::State::Waiting);
    models.back()->start();
  }
  // Every engine has its command; from here on the main loop stands still.
  ASSERT_TRUE(run_loop(
      [&] {
        if (engine.pids().size() < engines)
          return false;
        for (int run = 1; run <= engines; ++run)
          if (engine.input(run).find("\"command\":\"wipe\"") == std::string::npos)
            return false;
        return true;
      },
      30 * G_USEC_PER_SEC));
  const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
  for (int run = 1; run <= engines; ++run)
    while (!engine.touched("done", run) && g_get_monotonic_time() < deadline)
      g_usleep(1000);
  const std::size_t recordedBefore = history.entries().size();

  raise(SIGTERM);
  // GLib marks the request from a thread of its own; once it has, the request comes before the
  // engines' pipes at the next turn of the loop, as when the system sends it at such a moment.
  g_usleep(100 * 1000);
  EXPECT_EQ(top->run(), 128 + SIGTERM);
  EXPECT_EQ(history.entries().size(), std::size_t{engines})
      << recordedBefore << " recorded before the request";
  MainLog saved;
  ASSERT_TRUE(saved.load(path));
  EXPECT_EQ(saved.entries().size(), std::size_t{engines});
  models.clear();
  EXPECT_TRUE(run_loop([&] { return engine.all_ended(); }, 20 * G_USEC_PER_SEC));
}
