// The engine client against the scripted fake engine: the states and the order in which the
// views hear of them, the bytes written to the engine, and every failure path.
#include "DriverModel.h"
#include "FakeEngine.h"
#include "FakeEngineDrive.h"
#include "LogCapture.h"
#include "MainLoop.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace {

config::Value wipe_command(long long lba) {
  config::Value command(config::Value::Object);
  command.set("command", "wipe");
  command.set("lba", lba);
  return command;
}

// Writes down what the views are told, one text per notification. In `readsMembers` mode it
// reads from each reply what the wipe model reads, after writing the notification down.
class Recorder : public DriverControl::View {
public:
  explicit Recorder(DriverControl& driver) : driver(driver) {}

  void on_state_changed() override {
    add("state " + std::to_string(static_cast<int>(driver.state())));
  }
  void on_started() override { add("started"); }
  void on_stopped() override { add("stopped"); }
  void on_done(const config::Value& reply) override {
    add("done");
    if (readsMembers)
      reply.get_number("run size");
  }
  void on_error(const config::Value& reply) override {
    add("error");
    if (readsMembers)
      reply.get_string("message");
  }
  void on_failure(const std::string& text) override { add("failure " + text); }
  void on_update(const config::Value& reply) override {
    add("update");
    if (readsMembers)
      reply.get_number("processedSectors");
  }

  std::vector<std::string> events;
  bool readsMembers = false;
  // Called after each notification is written down.
  std::function<void(const std::string&)> react;

private:
  void add(const std::string& event) {
    events.push_back(event);
    if (react)
      react(event);
  }

  DriverControl& driver;
};

// Runs the main loop until the recorder holds `count` events.
bool wait_for_events(const Recorder& recorder, std::size_t count) {
  return run_loop([&] { return recorder.events.size() >= count; }, wait_limit_us);
}

bool wait_until_ended(const FakeEngine& engine) {
  return run_loop([&] { return engine.all_ended(); }, wait_limit_us);
}

// Runs the main loop until every engine has ended, or for a moment when some wait on.
void settle(const FakeEngine& engine) {
  run_loop([&] { return engine.all_ended(); }, 300 * 1000);
  run_loop([] { return false; }, 50 * 1000);
}

// Children of this test process with that program name, zombies included.
std::vector<long> children_named(const std::string& name) {
  std::vector<long> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text))
      continue;
    const std::size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
      continue;
    char state = 0;
    long parent = 0;
    std::istringstream rest(text.substr(close + 1));
    rest >> state >> parent;
    if (parent == getpid() && text.substr(open + 1, close - open - 1) == name)
      found.push_back(std::stol(text));
  }
  return found;
}

struct Step {
  // "send wipe" (lba 0), "send wipe 7", "pause", "pause twice", "ack", "stop", "await engine"
  // (until every engine started has begun its script), or "" (only wait).
  std::string action;
  // What the views hear after it, in order.
  std::vector<std::string> events;
};

struct Case {
  const char* name;
  const char* script;
  std::vector<Step> steps;
  // What each engine read, in the order of their start.
  std::vector<std::string> input;
  bool readsMembers = false;
};

const std::string exited0 = "failure Driver exit status: 0";
const std::string invalid = "failure Invalid response from driver";
const std::string wipe0 = "\"command\":\"wipe\",\"lba\":0\n";
const std::string ok = "\"response\":\"ok\"\n";
const std::string pauseLine = "\"command\":\"pause\"\n";

// clang-format off
const Case cases[] = {
  {"a wipe from the start to ready and the engine's exit",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
send "lba":0,"processedSectors":8,"sectors":8,"status":"update"
send "run size":4096,"run time":3,"status":"done"
expect "response":"ok"
send "status":"ready"
exit 0)",
   {{"send wipe", {"started", "state 2", "update", "update", "state 4", "done"}},
    {"ack", {"state 1", "state 0", exited0, "stopped"}}},
   {wipe0 + ok}},

  {"an acknowledged error: the engine goes on and the state stays finished",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "lba":8,"message":"write failed","sectors":8,"status":"error"
expect "response":"ok"
send "lba":16,"processedSectors":16,"sectors":8,"status":"update"
send "run size":8192,"run time":3,"status":"done"
expect "response":"ok"
exit 0)",
   {{"send wipe", {"started", "state 2", "state 4", "error"}},
    {"ack", {"update", "state 4", "done"}},
    {"ack", {"state 0", exited0, "stopped"}}},
   {wipe0 + ok + ok}},

  {"pause and resume",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect "command":"pause"
send "status":"paused"
expect "response":"ok"
send "status":"resumed"
send "run size":0,"run time":3,"status":"done"
expect "response":"ok"
exit 0)",
   {{"send wipe", {"started", "state 2", "update"}},
    {"pause", {"state 2", "state 3"}},
    {"ack", {"state 2", "state 4", "done"}},
    {"ack", {"state 0", exited0, "stopped"}}},
   {wipe0 + pauseLine + ok + ok}},

  {"replies that are not understood change nothing; braces are fine; exit code -1 reads 255",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send
send [1,2]
send "status":5
send "status":"busy"
send "lba":1
send "status":
send {"status":"paused"}
exit -1)",
   {{"send wipe", {"started", "state 2", invalid, invalid, invalid, invalid, invalid, invalid,
                   "state 3", "state 0", "failure Driver exit status: 255", "stopped"}}},
   {wipe0}},

  {"a send while finished is the line the engine waits for",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "message":"init failed","status":"error"
expect "command":"wipe","lba":7
send "status":"ready"
exit 0)",
   {{"send wipe", {"started", "state 2", "state 4", "error"}},
    {"send wipe 7", {"state 2", "state 1", "state 0", exited0, "stopped"}}},
   {wipe0 + "\"command\":\"wipe\",\"lba\":7\n"}},

  {"a second send while the engine starts ends it; only the last command reaches the new one",
   R"(expect
---
send "status":"ready"
expect "command":"wipe","lba":7
exit 0)",
   {{"send wipe", {"started"}},
    {"await engine", {}},
    {"send wipe 7", {"started", "state 2", "state 0", exited0, "stopped"}}},
   {"", "\"command\":\"wipe\",\"lba\":7\n"}},

  {"stop while the engine starts ends it and drops the pending command",
   R"(sleep 20000
send "status":"ready"
expect "command":"wipe","lba":0
exit 0)",
   {{"send wipe", {"started"}},
    {"await engine", {}},
    {"stop", {"state 0"}}},
   {""}},

  {"a pause while the engine starts waits for the command's first progress",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect "command":"pause"
send "status":"paused"
expect "response":"ok"
send "status":"resumed"
exit 0)",
   {{"send wipe", {"started"}},
    {"pause", {}},
    {"", {"state 2", "state 2", "update", "state 3"}},
    {"ack", {"state 2", "state 0", exited0, "stopped"}}},
   {wipe0 + pauseLine + ok}},

  {"a pause held for a command that fails at once is dropped",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "message":"init failed","status":"error"
expect "response":"ok"
send "status":"ready"
exit 0)",
   {{"send wipe", {"started"}},
    {"pause", {}},
    {"", {"state 2", "state 4", "error"}},
    {"ack", {"state 1", "state 0", exited0, "stopped"}}},
   {wipe0 + ok}},

  {"stop of a running engine: the views hear of the state only",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect)",
   {{"send wipe", {"started", "state 2", "update"}},
    {"stop", {"state 0"}}},
   {wipe0}},

  // The engine reads its lines in order: a pause that is on its way when the engine reports an
  // error is taken as the error's answer. It is sent again, so that the wipe pauses, and the
  // answer is not: the engine would read it as a pause.
  {"a pause on its way when the engine reports an error is its answer, and is sent again",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect "command":"pause"
send "lba":8,"message":"write failed","sectors":8,"status":"error"
expect "command":"pause"
send "status":"paused"
expect "response":"ok"
send "status":"resumed"
send "run size":0,"run time":3,"status":"done"
expect "response":"ok"
exit 0)",
   {{"send wipe", {"started", "state 2", "update"}},
    {"pause", {"state 2", "state 4", "error", "state 3"}},
    {"ack", {"state 2", "state 4", "done"}},
    {"ack", {"state 0", exited0, "stopped"}}},
   {wipe0 + pauseLine + pauseLine + ok + ok}},

  // After done the engine takes the pause as its answer and is ready: an answer now would be
  // read as a command, which ends the engine.
  {"a pause on its way when the engine reports done is its answer; none follows",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect "command":"pause"
send "run size":0,"run time":3,"status":"done"
send "status":"ready")",
   {{"send wipe", {"started", "state 2", "update"}},
    {"pause", {"state 2", "state 4", "done", "state 1"}},
    {"ack", {}}},
   {wipe0 + pauseLine}},

  // A second pause would be read as the line that resumes the first.
  {"a pause while one is on its way or answered by paused is not sent",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "set_state":"wiping","set_state_index":0,"status":"update"
expect "command":"pause"
send "status":"paused"
expect "response":"ok"
send "status":"resumed"
exit 0)",
   {{"send wipe", {"started", "state 2", "update"}},
    {"pause twice", {"state 2", "state 3"}},
    {"pause", {}},
    {"ack", {"state 2", "state 0", exited0, "stopped"}}},
   {wipe0 + pauseLine + ok}},

  {"replies without the members a view reads are the engine's failure, and still answered",
   R"(send "status":"ready"
expect "command":"wipe","lba":0
send "lba":0,"sectors":8,"status":"update"
send "run time":3,"status":"done"
expect "response":"ok"
send "status":"error"
expect "response":"ok"
send "status":"ready"
exit 0)",
   {{"send wipe", {"started", "state 2", "update", invalid, "state 4", "done", invalid}},
    {"ack", {"state 4", "error", invalid}},
    {"ack", {"state 1", "state 0", exited0, "stopped"}}},
   {wipe0 + ok + ok}, true},
};
// clang-format on

} // namespace

TEST(DriverModel, StatesAndNotificationsInOrder) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeEngine engine(c.script);
    LogCapture log;
    {
      DriverModel driver(FakeEngine::program(), test_drive());
      Recorder recorder(driver);
      recorder.readsMembers = c.readsMembers;
      driver.add_view(&recorder);
      driver.add_view(&recorder); // held once
      for (const Step& step : c.steps) {
        SCOPED_TRACE("step " + step.action);
        const std::size_t before = recorder.events.size();
        if (step.action == "send wipe")
          driver.send(wipe_command(0));
        else if (step.action == "send wipe 7")
          driver.send(wipe_command(7));
        else if (step.action == "pause")
          driver.pause();
        else if (step.action == "pause twice") {
          driver.pause();
          driver.pause();
        } else if (step.action == "ack")
          driver.acknowledge();
        else if (step.action == "stop")
          driver.stop();
        else if (step.action == "await engine") {
          ASSERT_TRUE(run_loop(
              [&] {
                return engine.pids().size() ==
                       static_cast<std::size_t>(
                           std::count(recorder.events.begin(), recorder.events.end(), "started"));
              },
              wait_limit_us));
        }
        ASSERT_TRUE(wait_for_events(recorder, before + step.events.size()))
            << "events so far: " << testing::PrintToString(recorder.events) << "\n"
            << log.text();
        const std::vector<std::string> got(recorder.events.begin() + before, recorder.events.end());
        EXPECT_EQ(got, step.events) << log.text();
      }
      // Nothing more comes: the engines end, or wait for lines that nobody sends.
      const std::size_t heard = recorder.events.size();
      settle(engine);
      EXPECT_EQ(std::vector<std::string>(recorder.events.begin() + heard, recorder.events.end()),
                std::vector<std::string>{})
          << log.text();
      EXPECT_FALSE(driver.starting());
    }
    ASSERT_TRUE(wait_until_ended(engine));
    ASSERT_EQ(engine.pids().size(), c.input.size());
    for (std::size_t run = 0; run < c.input.size(); ++run)
      EXPECT_EQ(engine.input(static_cast<int>(run + 1)), c.input[run]) << "engine " << run + 1;
    EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
  }
}

// The lines go out exactly as the engine reads them: members in name order, no blanks, texts
// escaped, the device path's backslashes doubled, one line feed.
TEST(DriverModel, BlinkCommandOnTheWire) {
  FakeEngine engine(R"(send "status":"ready"
expect "command":"blink","device":{"disable buffering":true,"id":"\\\\.\\PhysicalDrive0","sectorSize":512,"type":"drive"},"period":300,"sectors":2048,"sectorsPerTime":256
send "lba":0,"sectors":256,"status":"update"
expect)");
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", FakeEngine::program());
  LogCapture log;
  {
    std::unique_ptr<DriverModel> blink = make_driver_model(configuration, test_drive());
    EXPECT_EQ(blink->device_type(), "drive");
    EXPECT_EQ(blink->device_id(), "\\\\.\\PhysicalDrive0");
    send_blink_command(*blink);
    ASSERT_TRUE(run_loop([&] { return blink->state() == DriverControl::EngineState::Busy; },
                         wait_limit_us));
    ASSERT_TRUE(run_loop([&] { return engine.input().size() > 0; }, wait_limit_us));
  }
  // Destroying the client ends the blink.
  ASSERT_TRUE(wait_until_ended(engine));
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();

  config::Value noDriver(config::Value::Object);
  EXPECT_THROW(make_driver_model(noDriver, test_drive()), config::Value::Exception);
  noDriver.set("Driver", 5);
  EXPECT_THROW(make_driver_model(noDriver, test_drive()), config::Value::Exception);
}

TEST(DriverModel, EngineErrorLinesGoToTheDebugLog) {
  FakeEngine engine(R"(stderr main.cpp(31): *** cvwdrv ***
stderr second line
exit 0)");
  LogCapture log;
  DriverModel driver(FakeEngine::program(), test_drive());
  Recorder recorder(driver);
  driver.add_view(&recorder);
  driver.send(wipe_command(0));
  ASSERT_TRUE(
      run_loop([&] { return !recorder.events.empty() && recorder.events.back() == "stopped"; },
               wait_limit_us));
  EXPECT_NE(log.text().find("DriverModel.cpp(120): main.cpp(31): *** cvwdrv ***\n"
                            "DriverModel.cpp(120): second line\n"),
            std::string::npos)
      << log.text();
}

// An engine that cannot be started: the views hear it, the state stays, nothing is pending, and
// a pause then starts nothing either.
TEST(DriverModel, EngineThatCannotStart) {
  LogCapture log;
  DriverModel driver("/nonexistent/cvwdrv", test_drive());
  Recorder recorder(driver);
  driver.add_view(&recorder);
  driver.send(wipe_command(0));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"failure Cannot start driver"});
  EXPECT_EQ(driver.state(), DriverControl::EngineState::Stopped);
  EXPECT_FALSE(driver.starting());
  EXPECT_NE(log.text().find("Process.cpp(58): "), std::string::npos);

  driver.pause();
  driver.acknowledge();
  EXPECT_EQ(recorder.events.size(), 1u);
  EXPECT_NE(log.text().find("DriverModel.cpp(95): "), std::string::npos);
  EXPECT_NE(log.text().find("DriverModel.cpp(135): "), std::string::npos);

  // stop with no engine still tells the state, once.
  driver.stop();
  EXPECT_EQ(recorder.events.back(), "state 0");
  EXPECT_EQ(recorder.events.size(), 2u);
}

// A view may destroy the client it is told by, from any notification: nothing of the client
// is touched afterwards, the views after it hear nothing more, and the engine ends.
TEST(DriverModel, ViewDestroysItsClient) {
  const char* answering = R"(send "status":"ready"
expect "command":"wipe","lba":0
send "run size":0,"run time":3,"status":"done"
expect)";
  const struct {
    const char* event;
    const char* script;
  } cases[] = {
      {"state 2", answering},
      {"done", answering},
      {"state 0", "exit 4"},
      {"failure Driver exit status: 4", "exit 4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event);
    FakeEngine engine(c.script);
    LogCapture log;
    auto driver = std::make_unique<DriverModel>(FakeEngine::program(), test_drive());
    Recorder first(*driver), second(*driver);
    first.react = [&](const std::string& event) {
      if (event == c.event)
        driver.reset();
    };
    driver->add_view(&first);
    driver->add_view(&second);
    driver->send(wipe_command(0));
    ASSERT_TRUE(run_loop([&] { return driver == nullptr; }, wait_limit_us)) << log.text();
    EXPECT_EQ(first.events.back(), c.event);
    EXPECT_EQ(second.events.size() + 1, first.events.size());
    ASSERT_TRUE(wait_until_ended(engine));
  }
}

// A blink in the real engine on a simulated machine reads on until its client is destroyed;
// then no engine is left, running or unreaped.
TEST(DriverModel, RealEngineBlinkEndsWithItsClient) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 1048576, "image": "disk0.img" } ])");
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", CVWDRV_PATH);
  LogCapture log;
  {
    std::unique_ptr<DriverModel> blink = make_driver_model(configuration, test_drive());
    Recorder recorder(*blink);
    blink->add_view(&recorder);
    send_blink_command(*blink);
    // Bursts of 256 sectors, 300 ms apart.
    ASSERT_TRUE(run_loop(
        [&] { return std::count(recorder.events.begin(), recorder.events.end(), "update") >= 2; },
        wait_limit_us))
        << log.text();
    EXPECT_EQ(blink->state(), DriverControl::EngineState::Busy);
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "started"), 1);
    EXPECT_EQ(children_named("cvwdrv").size(), 1u);
  }
  EXPECT_TRUE(run_loop([] { return children_named("cvwdrv").empty(); }, wait_limit_us));
  EXPECT_EQ(log.text().find("error"), std::string::npos) << log.text();
}
