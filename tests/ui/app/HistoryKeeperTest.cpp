// The wipe history kept in its file while the program runs: a failed save told once until a
// save succeeds again, the save at the end; and the program ended by the system (SIGTERM,
// SIGHUP) as a quit ends it, with its open dialogs answered and the history saved.
#include "app/HistoryKeeper.h"

#include "DialogResponder.h"
#include "Files.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "TopUIFixture.h"
#include "app/EndOnRequest.h"
#include "gtk/MessageBox.h"

#include <signal.h>

#include <filesystem>
#include <string>

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

TEST_F(HistoryKeeperTest, AFailedSaveIsToldOnceUntilASaveSucceeds) {
  MainLog history;
  const std::string folder = dir.file("logs");
  const std::string path = folder + "/WipeLog.cfg";
  const std::string told = "The wipe log cannot be saved to " + path +
                           ".\n\nThe finished wipes are kept in memory and saved again after the "
                           "next wipe and when the program ends.";
  HistoryKeeper keeper(history, path, GTK_WINDOW(window));
  LogCapture log;
  DialogResponder answers;
  answers.click("close").click("close");

  // The folder is missing: three wipes, one box.
  for (const char* serial : {"1", "2", "3"}) {
    history.add(wiped(serial));
    turn_the_loop();
  }
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, told);

  // Saved again: the file holds every wipe at once.
  std::filesystem::create_directory(folder);
  history.add(wiped("4"));
  turn_the_loop();
  EXPECT_NE(file_text(path).find("\"serial\":\"4\""), std::string::npos);
  EXPECT_NE(file_text(path).find("\"serial\":\"1\""), std::string::npos);
  EXPECT_EQ(answers.seen().size(), 1u);

  // A new failure after a success is told again.
  std::filesystem::remove_all(folder);
  history.add(wiped("5"));
  history.add(wiped("6"));
  turn_the_loop();
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[1].text, told);
}

TEST_F(HistoryKeeperTest, TheSaveAtTheEndTellsItsFailureUnlessTheSystemEnded) {
  MainLog history;
  const std::string path = dir.file("missing/WipeLog.cfg");
  HistoryKeeper keeper(history, path, GTK_WINDOW(window));
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

  std::filesystem::create_directory(dir.file("missing"));
  EXPECT_TRUE(keeper.save_at_exit(true));
  EXPECT_NE(file_text(path).find("\"serial\":\"1\""), std::string::npos);
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
    HistoryKeeper keeper(history, path, GTK_WINDOW(window));
    history.add(wiped("1"));
    std::filesystem::remove(path);
    LogCapture log;
    EndOnRequest ending(*top, &keeper);

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
