#include "Process.h"
#include "GLibOwners.h"

#include "LogCapture.h"
#include "MainLoop.h"
#include "TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Records what a Process reports, and lets a test act from within the callbacks.
class Recorder : public Process::Callback {
public:
  void on_stdout_line(char* line) override {
    out.emplace_back(line);
    events.push_back("out:" + std::string(line));
    if (onOut)
      onOut(line);
  }
  void on_stderr_line(char* line) override {
    err.emplace_back(line);
    events.push_back("err:" + std::string(line));
    if (onErr)
      onErr(line);
  }
  void on_exit(int status) override {
    exits.push_back(status);
    events.push_back("exit:" + std::to_string(status));
    if (onExit)
      onExit(status);
  }

  std::vector<std::string> out, err, events;
  std::vector<int> exits;
  std::function<void(const std::string&)> onOut, onErr;
  std::function<void(int)> onExit;
};

// The helper child, run by a Process on the default main loop, reporting to a Recorder.
class ProcessTest : public ::testing::Test {
public:
  ProcessTest() {
    // A GLib warning or critical means the Process misused a channel or a source.
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
    process->set_callback(&recorder);
    recorder.onExit = [this](int) { quit(); };
  }

  // Starts the helper child with `args`.
  bool start(std::vector<std::string> args) {
    args.insert(args.begin(), CVW_PROCESS_CHILD);
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    return process->start(argv.data());
  }

  // Runs the main loop until a callback calls quit, or until `done` holds.
  void run(const std::function<bool()>& done = nullptr) {
    quitRequested = false;
    ASSERT_TRUE(run_loop([&] { return quitRequested || (done && done()); }))
        << "the main loop hung";
  }
  void quit() { quitRequested = true; }

  Recorder recorder;
  std::unique_ptr<Process> process = std::make_unique<Process>();
  bool quitRequested = false;
};

std::vector<std::string> numbered_lines(int count, std::size_t length) {
  std::vector<std::string> lines;
  for (int n = 0; n < count; ++n) {
    std::string line = std::to_string(n);
    line.resize(length - 1, '.');
    lines.push_back(line);
  }
  return lines;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(ProcessTest, DeliversBothStreamsLineByLineThenTheExit) {
  ASSERT_TRUE(start({"out=one\r\ntwo\n", "err=e1\r\n", "out=\n", "out=thr", "sleep=20", "out=ee\n",
                     "err=e2\n", "out=unfinished", "exit=3"}));
  run();
  EXPECT_EQ(recorder.out, (std::vector<std::string>{"one", "two", "", "three"}));
  EXPECT_EQ(recorder.err, (std::vector<std::string>{"e1", "e2"}));
  ASSERT_EQ(recorder.exits, std::vector<int>{3});
  EXPECT_EQ(recorder.events.back(), "exit:3");
}

TEST_F(ProcessTest, LinesWrittenJustBeforeTheExitArriveBeforeIt) {
  // More than a pipe holds, written as fast as possible, then an immediate exit.
  ASSERT_TRUE(start({"lines=30000:40", "err=last\n", "exit=0"}));
  run();
  EXPECT_EQ(recorder.out, numbered_lines(30000, 40));
  EXPECT_EQ(recorder.err, std::vector<std::string>{"last"});
  EXPECT_EQ(recorder.events.back(), "exit:0");
}

TEST_F(ProcessTest, ExitStatusIsTheExitCodeOrTheSignalNumber) {
  const struct {
    const char* how;
    int status;
  } cases[] = {
      {"exit=0", 0}, {"exit=3", 3}, {"exit=255", 255}, {"exit=-1", 255}, {"signal=15", 15}};
  // One Process, started again after each exit.
  for (const auto& c : cases) {
    recorder.exits.clear();
    ASSERT_TRUE(start({c.how}));
    run();
    EXPECT_EQ(recorder.exits, std::vector<int>{c.status}) << c.how;
  }
}

TEST_F(ProcessTest, WritesReachTheChildUnchanged) {
  ASSERT_TRUE(start({"echo", "exit=4"}));
  recorder.onOut = [this](const std::string& line) {
    if (line == "echo:a\tb") {
      ASSERT_TRUE(process->write("quit\n"));
    }
  };
  // The first part of a line waits in the child until the rest comes.
  ASSERT_TRUE(process->write("a\t"));
  ASSERT_TRUE(process->write("b\n"));
  run();
  EXPECT_EQ(recorder.out, std::vector<std::string>{"echo:a\tb"});
  EXPECT_EQ(recorder.exits, std::vector<int>{4});
}

TEST_F(ProcessTest, TerminateKillsTheChildAndItsExitIsReported) {
  ASSERT_TRUE(start({"out=up\n", "wait"}));
  run([this] { return !recorder.out.empty(); });
  ASSERT_TRUE(process->terminate());
  run();
  EXPECT_EQ(recorder.exits, std::vector<int>{9});

  LogCapture log;
  EXPECT_FALSE(process->terminate());
  EXPECT_TRUE(contains(log.text(), "Process.cpp(79): ")) << log.text();
  EXPECT_THROW(process->write("x\n"), std::runtime_error);
}

TEST_F(ProcessTest, StartOverARunningChildEndsItSilently) {
  LogCapture log;
  ASSERT_TRUE(start({"out=first\n", "wait"}));
  run([this] { return !recorder.out.empty(); });
  ASSERT_TRUE(start({"out=second\n", "exit=0"}));
  run();
  // The first child's end is only logged, once it has been reaped.
  run([&] { return contains(log.text(), ", status: 9\n"); });
  EXPECT_EQ(recorder.out, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(recorder.exits, std::vector<int>{0});
  EXPECT_TRUE(contains(log.text(), "Process.cpp(327): on_exit_default: 0x")) << log.text();
}

TEST_F(ProcessTest, StopEndsTheChildAndWritingThenThrows) {
  try {
    process->write("x\n");
    FAIL() << "writing without a child must throw";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Process.cpp(120)");
  }
  LogCapture log;
  ASSERT_TRUE(start({"out=up\n", "wait"}));
  run([this] { return !recorder.out.empty(); });
  const int abandonedBefore = Process::abandoned_children();
  process->stop();
  // Counted until the main loop has reaped it, so that a program can wait for its children.
  EXPECT_EQ(Process::abandoned_children(), abandonedBefore + 1);
  EXPECT_THROW(process->write("x\n"), std::runtime_error);
  run([&] { return contains(log.text(), "on_exit_default"); });
  EXPECT_EQ(Process::abandoned_children(), abandonedBefore);
  EXPECT_TRUE(recorder.exits.empty());
  EXPECT_TRUE(contains(log.text(), ", status: 9\n")) << log.text();
  process->stop(); // idle: nothing to do
}

TEST_F(ProcessTest, AMissingProgramFailsWithGLibsMessage) {
  LogCapture log;
  char missing[] = "/nonexistent/cvw-no-such-program";
  char* argv[] = {missing, nullptr};
  EXPECT_FALSE(process->start(argv));
  EXPECT_TRUE(contains(log.text(), "Process.cpp(58): ")) << log.text();
  EXPECT_TRUE(contains(log.text(), missing)) << log.text();
  EXPECT_THROW(process->write("x\n"), std::runtime_error);
}

TEST_F(ProcessTest, WritingToAChildThatClosedItsInputFailsWithoutEndingUs) {
  ASSERT_TRUE(start({"closein", "out=closed\n", "sleep=600000"}));
  run([this] { return !recorder.out.empty(); });
  LogCapture log;
  EXPECT_FALSE(process->write("x\n"));
  EXPECT_TRUE(contains(log.text(), "Process.cpp(128): ") ||
              contains(log.text(), "Process.cpp(138): "))
      << log.text();
}

TEST_F(ProcessTest, OnExitMayStartTheSameProcessAgain) {
  ASSERT_TRUE(start({"out=first\n", "exit=1"}));
  recorder.onExit = [this](int status) {
    if (status == 1)
      ASSERT_TRUE(start({"out=second\n", "exit=2"}));
    else
      quit();
  };
  run();
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"out:first", "exit:1", "out:second", "exit:2"}));
}

TEST_F(ProcessTest, ALineCallbackMayStopRestartOrDestroyTheProcess) {
  const struct {
    const char* what;
    std::function<void(ProcessTest&)> act;
    std::vector<std::string> events;
  } cases[] = {
      {"stop", [](ProcessTest& t) { t.process->stop(); }, {"out:a"}},
      {"destroy", [](ProcessTest& t) { t.process.reset(); }, {"out:a"}},
      {"restart",
       [](ProcessTest& t) {
         ASSERT_TRUE(t.start({"out=new\n", "exit=5"}));
       },
       {"out:a", "out:new", "exit:5"}},
  };
  for (const auto& c : cases) {
    if (!process) {
      process = std::make_unique<Process>();
      process->set_callback(&recorder);
    }
    recorder.events.clear();
    bool acted = false;
    recorder.onOut = [&](const std::string& line) {
      if (line == "a" && !acted) {
        acted = true;
        c.act(*this);
      }
    };
    // All three lines come in one read; the rest must not be delivered after the act.
    ASSERT_TRUE(start({"out=a\nb\nc\n", "err=x\n", "wait"}));
    if (c.events.back().rfind("exit:", 0) == 0)
      run();
    else
      run([&] { return acted; });
    // Give a wrongly kept watch the chance to deliver more.
    const gint64 until = g_get_monotonic_time() + 50000;
    ASSERT_TRUE(run_loop([&] { return g_get_monotonic_time() > until; }));
    std::vector<std::string> seen;
    for (const std::string& e : recorder.events)
      if (e.rfind("err:", 0) != 0)
        seen.push_back(e);
    EXPECT_EQ(seen, c.events) << c.what;
  }
}

TEST_F(ProcessTest, ExceptionsFromCallbacksAreLoggedAndDoNotCostLines) {
  LogCapture log;
  recorder.onOut = [](const std::string& line) {
    if (line == "bad")
      throw std::runtime_error("Test.cpp(1)");
  };
  recorder.onExit = [this](int) {
    quit();
    throw std::runtime_error("Test.cpp(2)");
  };
  ASSERT_TRUE(start({"out=bad\ngood\n", "exit=0"}));
  run();
  EXPECT_EQ(recorder.out, (std::vector<std::string>{"bad", "good"}));
  EXPECT_TRUE(contains(log.text(), "Process.cpp(280): Test.cpp(1)\n")) << log.text();
  EXPECT_TRUE(contains(log.text(), "Process.cpp(270): Test.cpp(2)\n")) << log.text();
}

TEST_F(ProcessTest, ANestedMainLoopInALineCallbackKeepsLinesInOrder) {
  // As a modal dialog does: while the first line is handled, the loop runs on; the child
  // finishes its output and exits meanwhile.
  bool nested = false;
  recorder.onOut = [&](const std::string&) {
    if (nested)
      return;
    nested = true;
    const gint64 until = g_get_monotonic_time() + 300000;
    ASSERT_TRUE(run_loop([&] { return g_get_monotonic_time() > until && !recorder.err.empty(); }));
  };
  ASSERT_TRUE(start({"lines=2000:20", "err=done\n", "exit=0"}));
  run();
  EXPECT_EQ(recorder.out, numbered_lines(2000, 20));
  EXPECT_EQ(recorder.events.back(), "exit:0");
}

TEST_F(ProcessTest, ALineLongerThanTheBufferIsDroppedAndReadingGoesOn) {
  LogCapture log;
  // The longest line that fits, then one that does not, spread over several buffers.
  ASSERT_TRUE(start({"fill=1023999", "out=\n", "fill=2500000", "out=\n", "out=after\n", "exit=0"}));
  run();
  ASSERT_EQ(recorder.out.size(), 2u);
  EXPECT_EQ(recorder.out[0], std::string(1023999, 'y'));
  EXPECT_EQ(recorder.out[1], "after");
  EXPECT_EQ(recorder.exits, std::vector<int>{0});
  const std::string text = log.text();
  const std::size_t first = text.find("LineBuffer.cpp(61): ");
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find("LineBuffer.cpp(61): ", first + 1), std::string::npos) << text;
}

// A child that writes without pause, to a reader slower than it: the main loop still runs its
// other sources at their time (timers, and idle work of the default priority, as which the
// toolkit runs a click that an assistive tool asks for), the lines keep coming in order, and
// stop ends the child.
TEST_F(ProcessTest, AFloodNeitherHoldsTheMainLoopNorOutlivesStop) {
  LoopTicks ticks;
  // Each line costs the reader some microseconds, as parsing a reply and showing it do, so that
  // the child stays ahead of it.
  recorder.onOut = [](const std::string&) {
    const gint64 until = g_get_monotonic_time() + 10;
    while (g_get_monotonic_time() < until) {
    }
  };
  const int abandonedBefore = Process::abandoned_children();
  ASSERT_TRUE(start({"flood=8000:64", "exit=0"}));
  run([&] { return recorder.out.size() >= 1000; });
  // One second more of the flood; a held loop would not run the timer until the flood ends.
  const gint64 idleAdded = g_get_monotonic_time();
  const gint64 until = idleAdded + 1000000;
  gint64 idleRan = 0;
  Source idle(g_idle_add(
      [](gpointer ran) {
        *static_cast<gint64*>(ran) = g_get_monotonic_time();
        return G_SOURCE_REMOVE;
      },
      &idleRan));
  run([&] { return g_get_monotonic_time() > until; });
  if (idleRan != 0)
    idle.forget(); // it removed itself
  idle.reset();
  EXPECT_GE(ticks.count(), 5);
  EXPECT_LT(ticks.longest_gap(), 500000) << "the main loop was held";
  EXPECT_NE(idleRan, 0) << "the idle work waited for the flood";
  EXPECT_LT(idleRan - idleAdded, 500000) << "the idle work waited for the flood";
  EXPECT_EQ(recorder.out.back(), numbered_lines(static_cast<int>(recorder.out.size()), 64).back());
  EXPECT_TRUE(recorder.exits.empty()) << "the flood ended before the test stopped it";

  process->stop();
  const std::size_t lines = recorder.out.size();
  EXPECT_TRUE(Process::reap_abandoned_children(10000));
  EXPECT_EQ(Process::abandoned_children(), abandonedBefore);
  EXPECT_EQ(recorder.out.size(), lines);
  EXPECT_TRUE(recorder.exits.empty());
}

TEST(ProcessCallback, DefaultBodiesWriteTheDebugLog) {
  LogCapture log;
  Process::Callback callback;
  char line[] = "text";
  callback.on_stdout_line(line);
  callback.on_stderr_line(line);
  callback.on_exit(-1);
  EXPECT_EQ(log.text(), "Process.cpp(390): text\nProcess.cpp(395): text\nProcess.cpp(400): -1\n");
}

namespace {

// A child of /bin/sh that runs `script` (builtins only) and reports to `recorder`.
std::unique_ptr<Process> shell_child(const std::string& script, Recorder& recorder) {
  auto process = std::make_unique<Process>();
  process->set_callback(&recorder);
  std::string shell = "/bin/sh", option = "-c", text = script;
  char* argv[] = {shell.data(), option.data(), text.data(), nullptr};
  EXPECT_TRUE(process->start(argv));
  return process;
}

} // namespace

// What children wrote while the main loop did not run is handed out on request, from every
// Process, both streams; a child that writes without end is read for the time given and no
// longer.
TEST(ProcessWrittenLines, AreDeliveredFromEveryChildWithoutTheMainLoop) {
  const TempDir marks;
  const std::string folder = marks.path().string();
  constexpr int children = 8;
  std::vector<Recorder> recorders(children);
  std::vector<std::unique_ptr<Process>> processes;
  for (int n = 0; n < children; ++n)
    processes.push_back(shell_child("echo done " + std::to_string(n) + "; echo note >&2; : > " +
                                        folder + "/" + std::to_string(n) + "; read x",
                                    recorders[n]));
  // Every child has written both lines once its mark is there.
  const gint64 deadline = g_get_monotonic_time() + 20 * G_USEC_PER_SEC;
  for (int n = 0; n < children; ++n)
    while (!g_file_test((folder + "/" + std::to_string(n)).c_str(), G_FILE_TEST_EXISTS) &&
           g_get_monotonic_time() < deadline)
      g_usleep(1000);
  Process::deliver_written_lines(5000);
  for (int n = 0; n < children; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(recorders[n].out, std::vector<std::string>{"done " + std::to_string(n)});
    EXPECT_EQ(recorders[n].err, std::vector<std::string>{"note"});
  }
  processes.clear();

  // Lines that take a while each: the child has always written more by the time they are
  // handed out.
  Recorder flood;
  flood.onOut = [](const std::string&) { g_usleep(1000); };
  const auto flooding = shell_child("while :; do echo flood; done", flood);
  ASSERT_TRUE(run_loop([&] { return !flood.out.empty(); }));
  const gint64 began = g_get_monotonic_time();
  Process::deliver_written_lines(300);
  const gint64 took = g_get_monotonic_time() - began;
  EXPECT_GE(took, 300 * 1000);
  EXPECT_LT(took, 3 * G_USEC_PER_SEC);
  EXPECT_GT(flood.out.size(), 1u);
  Process::reap_abandoned_children(5000);
}
