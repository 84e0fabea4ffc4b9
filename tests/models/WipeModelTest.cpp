// The wipe task model against the scripted fake engine: its states and what each operation and
// each reply shows (status lines, percentages, processed areas, task log, wipe history), the
// wipe command on the wire, and the operations that do not fit the state.
#include "WipeModel.h"
#include "FakeEngine.h"
#include "FakeEngineDrive.h"
#include "FixedClockText.h"
#include "LogCapture.h"
#include "MainLog.h"
#include "MainLoop.h"
#include "SingletonGuard.h"
#include "TestMachine.h"
#include "WipeModelRecorder.h"

#include <gtest/gtest.h>

#include "Format.h"

#include <chrono>
#include <memory>
#include <regex>

namespace {

const char* const plainTemplate = R"("wipe":{"command":{}})";

// One model on the fake engine playing `script`, its view recording, the history emptied; the
// area is the 16 sectors from 0 unless a test sets another. Progress is shown once a `frame`.
class Harness {
public:
  explicit Harness(const std::string& script, const char* configurationText = plainTemplate,
                   std::chrono::milliseconds frame = WipeModelFactoryImpl::progress_frame)
      : machine(test_drive_machine()), engine(script), factory(configuration, frame) {
    use_fixed_zone_and_locale();
    EXPECT_TRUE(configuration.parse(configurationText));
    configuration.set("Driver", FakeEngine::program());
    model.reset(factory.create(test_drive()));
    model->set_view(&view);
    model->set_sectors(16);
  }

  // Runs `action` and waits until the view has heard `count` notifications more; returns
  // those it heard.
  std::vector<std::string> step(const std::string& action, std::size_t count) {
    const std::size_t before = view.events.size();
    if (action == "arm")
      model->arm();
    else if (action == "start")
      model->start();
    else if (action == "pause")
      model->pause();
    else if (action == "stop")
      model->stop();
    else if (action == "await engine")
      EXPECT_TRUE(run_loop([&] { return engine.pids().size() == 1; }, wait_limit_us));
    else if (action == "await the pause again") {
      // The engine has read a second pause and answered it; a moment for its reply to arrive.
      EXPECT_TRUE(run_loop(
          [&] {
            const std::string input = engine.input();
            const std::size_t first = input.find("\"command\":\"pause\"");
            return first != std::string::npos &&
                   input.find("\"command\":\"pause\"", first + 1) != std::string::npos;
          },
          wait_limit_us));
      run_loop([] { return false; }, 200 * 1000);
    } else if (action == "ignore all") {
      model->options().set_ignore_write_errors(true);
      model->options().set_ignore_read_errors(true);
      model->options().set_ignore_compare_errors(true);
    } else if (action == "method 11")
      model->options().set_mode(11);
    else if (!action.empty())
      ADD_FAILURE() << "no action " << action;
    EXPECT_TRUE(run_loop([&] { return view.events.size() >= before + count; }, wait_limit_us))
        << "heard so far: " << testing::PrintToString(view.events) << "\n"
        << log.text();
    return std::vector<std::string>(view.events.begin() + before, view.events.end());
  }

  // Runs the main loop until the engines have ended, or for a moment when they wait on; returns
  // what the view heard meanwhile.
  std::vector<std::string> settle() {
    const std::size_t before = view.events.size();
    run_loop([&] { return engine.all_ended(); }, 300 * 1000);
    run_loop([] { return false; }, 50 * 1000);
    return std::vector<std::string>(view.events.begin() + before, view.events.end());
  }

  // Destroys the model; every engine it started ends and played its script without a fault.
  void end() {
    model.reset();
    EXPECT_TRUE(run_loop([&] { return engine.all_ended(); }, wait_limit_us));
    EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
  }

  SingletonGuard singletons; // the history starts empty
  TestMachine machine;
  FakeEngine engine;
  LogCapture log;
  config::Value configuration;
  WipeModelFactoryImpl factory;
  WipeModelRecorder view;
  std::unique_ptr<WipeModel> model;
};

// Script pieces.
const std::string ready = "send \"status\":\"ready\"\n";
const std::string anyLine = "expect\n";
const std::string wiping =
    "send \"set_state\":\"wiping\",\"set_state_index\":0,\"status\":\"update\"\n";
const std::string answer = "expect \"response\":\"ok\"\n";
std::string send(const std::string& members) { return "send " + members + "\n"; }
std::string progress(int lba, int processed, int sectors) {
  return send("\"lba\":" + std::to_string(lba) +
              ",\"processedSectors\":" + std::to_string(processed) +
              ",\"sectors\":" + std::to_string(sectors) + ",\"status\":\"update\"");
}
std::string done_reply(long long size, long long time) {
  return send("\"run size\":" + std::to_string(size) + ",\"run time\":" + std::to_string(time) +
              ",\"status\":\"done\"");
}

// Notifications.
const std::string idle = "state 0", wipingState = "state 1", pausedState = "state 2",
                  doneState = "state 4", waitingState = "state 5";
const std::vector<std::string> armed = {
    waitingState, "status READY - Data on this drive will be lost. Are you sure?", "percent 0"};
std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::string doneClean = "status DONE - 8.192KB | 0.00 seconds | 0 errors (Certificate)";

struct Step {
  std::string action; // see Harness::step; "" only waits
  std::vector<std::string> heard;
};

struct Row {
  const char* name;
  std::string script;
  std::vector<Step> steps;
  // The lines the engine read: "wipe" (the wipe command), "pause", "ok"; none when no engine
  // was started.
  std::vector<std::string> read;
  // The first line of each task-log entry after the drive's block.
  std::vector<std::string> logged;
  // Debug-log lines, in this order.
  std::vector<std::string> debugLines = {};
  const char* configuration = plainTemplate;
};

const std::string progress50 = "status WIPING - 50% | 4.096KB | LBA: 0 | 0 errors";

// clang-format off
const Row rows[] = {
  {"armed, started, done; start answers and the engine's ready makes it idle; armed again",
   ready + anyLine + wiping + progress(0, 8, 8) + progress(8, 16, 8) +
       send("\"done\":true,\"status\":\"update\"") + done_reply(8192, 0) + answer + ready,
   {{"arm", armed},
    {"start", {wipingState, wipingState, "area 0 8", progress50, "percent 50", "area 8 8",
               "status WIPING - 100% | 8.192KB | LBA: 8 | 0 errors", "percent 100",
               wipingState, doneClean, "percent 100", doneState}},
    {"start", {wipingState, idle}},
    {"arm", armed},
    {"stop", {idle, idle}}},
   {"wipe", "ok"},
   {"*** START ***", doneClean.substr(7), "STOP"}},

  {"pause waits for the engine's paused; start resumes; stop in Done",
   ready + anyLine + wiping + "expect \"command\":\"pause\"\n" + send("\"status\":\"paused\"") +
       answer + send("\"status\":\"resumed\"") + done_reply(8192, 0),
   {{"arm", armed},
    {"start", {wipingState, wipingState}},
    {"pause", {wipingState, pausedState}},
    {"start", {pausedState, wipingState, wipingState, doneClean, "percent 100", doneState}},
    {"stop", {wipingState, idle}}},
   {"wipe", "pause", "ok"},
   {"*** START ***", "PAUSE", "RESUME", doneClean.substr(7), "STOP"}},

  {"an error that is not ignored waits for the operator; start lets the engine go on",
   ready + anyLine + wiping +
       send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"") +
       answer + progress(8, 16, 8) + done_reply(8192, 1000),
   {{"arm", armed},
    {"start", {wipingState, wipingState, wipingState, waitingState,
               "status ERROR - Write failed (LBA: 4, sectors: 2)"}},
    {"start", {wipingState, "area 0 16", "status WIPING - 100% | 8.192KB | LBA: 8 | 1 errors",
               "percent 100", wipingState,
               "status DONE - 8.192KB | 1.00 seconds | 0.01MB/s | 1 errors", "percent 100",
               doneState}},
    {"stop", {wipingState, idle}}},
   {"wipe", "ok"},
   {"*** START ***", "ERROR - Write failed (LBA: 4, sectors: 2)",
    "DONE - 8.192KB | 1.00 seconds | 0.01MB/s | 1 errors", "STOP"}},

  {"ignored errors are answered at once and counted; a sync failure is never ignored",
   ready + anyLine + wiping +
       send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"") + answer +
       send("\"lba\":6,\"message\":\"read failed\",\"sectors\":1,\"status\":\"error\"") + answer +
       send("\"lba\":7,\"message\":\"compare failed\",\"sectors\":1,\"status\":\"error\"") +
       answer + progress(8, 16, 8) + send("\"message\":\"sync failed\",\"status\":\"error\"") +
       answer + done_reply(8192, 0),
   {{"ignore all", {}},
    {"arm", armed},
    {"start", {wipingState, wipingState, wipingState, wipingState, wipingState, "area 0 16",
               "status WIPING - 100% | 8.192KB | LBA: 8 | 3 errors", "percent 100", wipingState,
               waitingState, "status ERROR - Sync failed"}},
    {"start", {wipingState, wipingState, "status DONE - 8.192KB | 0.00 seconds | 4 errors",
               "percent 100", doneState}},
    {"stop", {wipingState, idle}}},
   {"wipe", "ok", "ok", "ok", "ok"},
   {"*** START ***", "ERROR - Write failed (LBA: 4, sectors: 2)",
    "ERROR - Read failed (LBA: 6, sectors: 1)", "ERROR - Compare failed (LBA: 7, sectors: 1)",
    "ERROR - Sync failed", "DONE - 8.192KB | 0.00 seconds | 4 errors", "STOP"}},

  // The engine reads its lines in order: a pause on its way when it reports an error is taken
  // as the error's answer. The pause is sent again, so that the wipe stops for the operator,
  // and the operator's start answers that pause instead of being read as one.
  {"a pause on its way at an error: the engine pauses again, start goes on",
   ready + anyLine + wiping + "expect \"command\":\"pause\"\n" +
       send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"") +
       "expect \"command\":\"pause\"\n" + send("\"status\":\"paused\"") + answer +
       send("\"status\":\"resumed\"") + done_reply(8192, 0),
   {{"arm", armed},
    {"start", {wipingState, wipingState}},
    {"pause", {wipingState, wipingState, waitingState,
               "status ERROR - Write failed (LBA: 4, sectors: 2)"}},
    {"await the pause again", {}},
    {"start", {pausedState, wipingState, wipingState,
               "status DONE - 8.192KB | 0.00 seconds | 1 errors", "percent 100", doneState}},
    {"stop", {wipingState, idle}}},
   {"wipe", "pause", "pause", "ok"},
   {"*** START ***", "PAUSE", "ERROR - Write failed (LBA: 4, sectors: 2)",
    "DONE - 8.192KB | 0.00 seconds | 1 errors", "STOP"}},

  {"the same with the error ignored: the model pauses as asked, start resumes",
   ready + anyLine + wiping + "expect \"command\":\"pause\"\n" +
       send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"") +
       "expect \"command\":\"pause\"\n" + send("\"status\":\"paused\"") + answer +
       send("\"status\":\"resumed\"") + done_reply(8192, 0),
   {{"ignore all", {}},
    {"arm", armed},
    {"start", {wipingState, wipingState}},
    {"pause", {wipingState, wipingState, pausedState}},
    {"start", {pausedState, wipingState, wipingState,
               "status DONE - 8.192KB | 0.00 seconds | 1 errors", "percent 100", doneState}},
    {"stop", {wipingState, idle}}},
   {"wipe", "pause", "pause", "ok"},
   {"*** START ***", "PAUSE", "ERROR - Write failed (LBA: 4, sectors: 2)", "RESUME",
    "DONE - 8.192KB | 0.00 seconds | 1 errors", "STOP"}},

  {"a device that cannot be opened: start answers and the model is idle at ready",
   ready + anyLine + send("\"message\":\"init failed\",\"status\":\"error\"") + answer + ready,
   {{"arm", armed},
    {"start", {wipingState, wipingState, wipingState, waitingState, "status ERROR - Init failed"}},
    {"start", {wipingState, idle}}},
   {"wipe", "ok"},
   {"*** START ***", "ERROR - Init failed"}},

  {"the engine exits: idle, then the failure; start finds no engine and the model is idle",
   ready + anyLine + wiping + "exit 3\n",
   {{"arm", armed},
    {"start", {wipingState, wipingState, idle, waitingState,
               "status ERROR - Driver exit status: 3"}},
    {"start", {idle}},
    {"arm", armed}},
   {"wipe"},
   {"*** START ***", "ERROR - Driver exit status: 3"},
   {"WipeModelImpl.cpp(336): 0"}},

  {"stop while wiping ends the engine",
   ready + anyLine + wiping + progress(0, 8, 8) + anyLine,
   {{"arm", armed},
    {"start", {wipingState, wipingState, "area 0 8", progress50, "percent 50"}},
    {"stop", {idle}}},
   {"wipe"},
   {"*** START ***", "STOP"}},

  {"stop while the engine starts ends it before it reads the wipe",
   "sleep 20000\n" + ready + anyLine,
   {{"arm", armed},
    {"start", {wipingState}},
    {"await engine", {}},
    {"stop", {idle}}},
   {""},
   {"*** START ***", "STOP"}},

  {"pause while the engine starts is sent at the wipe's first progress; stop while paused",
   ready + anyLine + wiping + "expect \"command\":\"pause\"\n" + send("\"status\":\"paused\"") +
       anyLine,
   {{"arm", armed},
    {"start", {wipingState}},
    {"pause", {}},
    {"", {wipingState, wipingState, pausedState}},
    {"stop", {idle}}},
   {"wipe", "pause"},
   {"*** START ***", "PAUSE", "STOP"}},

  {"stop of an armed model whose engine never ran",
   "",
   {{"arm", armed},
    {"stop", {idle}}},
   {},
   {},
   {"WipeModelImpl.cpp(317): 0"}},

  {"operations that do not fit the state change nothing",
   ready + anyLine + wiping + progress(0, 8, 8) + anyLine,
   {{"pause", {}},
    {"start", {}},
    {"arm", armed},
    {"arm", {}},
    {"pause", {}},
    {"start", {wipingState, wipingState, "area 0 8", progress50, "percent 50"}},
    {"start", {}},
    {"arm", {}},
    {"stop", {idle}}},
   {"wipe"},
   {"*** START ***", "STOP"},
   {"WipeModelImpl.cpp(297): 0", "WipeModelImpl.cpp(348): 0", "WipeModelImpl.cpp(287): 5",
    "WipeModelImpl.cpp(297): 5", "WipeModelImpl.cpp(348): 1", "WipeModelImpl.cpp(287): 1"}},

  {"a reply the model cannot read is the engine's failure",
   ready + anyLine + send("\"lba\":0,\"sectors\":8,\"status\":\"update\"") + anyLine,
   {{"arm", armed},
    {"start", {wipingState, wipingState, waitingState,
               "status ERROR - Invalid response from driver"}},
    {"stop", {wipingState, idle}}},
   {"wipe"},
   {"*** START ***", "ERROR - Invalid response from driver", "STOP"}},

  {"no wipe command template: the start fails before anything is sent",
   "",
   {{"arm", armed},
    {"start", {waitingState,
               "status ERROR - Cannot make the wipe command (\"wipe\" is not found)"}},
    {"start", {idle}}},
   {},
   {"ERROR - Cannot make the wipe command (\"wipe\" is not found)"},
   {"WipeModelImpl.cpp(325): \"wipe\" is not found", "WipeModelImpl.cpp(336): 0"},
   R"("Desktop":1)"},

  {"a template that is no Object fails the start the same way",
   "",
   {{"arm", armed},
    {"start", {waitingState,
               "status ERROR - Cannot make the wipe command (\"command\" is String, not Object)"}},
    {"stop", {idle}}},
   {},
   {"ERROR - Cannot make the wipe command (\"command\" is String, not Object)"},
   {"WipeModelImpl.cpp(325): \"command\" is String, not Object", "WipeModelImpl.cpp(317): 0"},
   R"("wipe":{"command":"wipe"})"},

  {"options that name no method fail the start the same way",
   "",
   {{"method 11", {}},
    {"arm", armed},
    {"start", {waitingState, "status ERROR - Cannot make the wipe command (no wipe method 11)"}},
    {"stop", {idle}}},
   {},
   {"ERROR - Cannot make the wipe command (no wipe method 11)"},
   {"WipeModelImpl.cpp(325): no wipe method 11", "WipeModelImpl.cpp(317): 0"}},
};
// clang-format on

std::string engine_line(const std::string& name) {
  if (name == "pause")
    return "\"command\":\"pause\"\n";
  if (name == "ok")
    return "\"response\":\"ok\"\n";
  return name;
}

} // namespace

TEST(WipeModel, StatesEventsAndEffects) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Harness harness(row.script, row.configuration);
    for (const Step& step : row.steps) {
      SCOPED_TRACE("step " + step.action);
      EXPECT_EQ(harness.step(step.action, step.heard.size()), step.heard);
    }
    EXPECT_EQ(harness.settle(), std::vector<std::string>{}) << "heard after the last step";
    const std::vector<std::string> heads = task_log_heads(harness.model->log().text());
    EXPECT_EQ(std::vector<std::string>(heads.begin() + 1, heads.end()), row.logged);
    const std::string debug = harness.log.text();
    std::size_t at = 0;
    for (const std::string& line : row.debugLines) {
      at = debug.find(line + "\n", at);
      EXPECT_NE(at, std::string::npos) << line << " in\n" << debug;
    }
    // And no other line of the model's.
    std::size_t lines = 0;
    for (std::size_t p = debug.find("WipeModelImpl.cpp("); p != std::string::npos;
         p = debug.find("WipeModelImpl.cpp(", p + 1))
      ++lines;
    EXPECT_EQ(lines, row.debugLines.size()) << debug;
    harness.end();
    if (row.read.empty()) {
      EXPECT_TRUE(harness.engine.pids().empty());
      continue;
    }
    ASSERT_EQ(harness.engine.pids().size(), 1u);
    const std::string input = harness.engine.input();
    std::string expected;
    for (const std::string& name : row.read)
      if (name != "wipe")
        expected += engine_line(name);
    if (row.read[0] == "wipe") {
      EXPECT_EQ(input.rfind("\"command\":\"wipe\",", 0), 0u) << input;
      EXPECT_EQ(input.substr(input.find('\n') + 1), expected);
    } else {
      EXPECT_EQ(input, expected);
    }
  }
}

namespace {

struct ReportCase {
  const char* name;
  int method;
  std::uint64_t lba, sectors;
  std::string updates;            // what the engine sends after it read the wipe
  std::vector<std::string> heard; // after the start's own state and the engine's ready
};

const std::string passDone = send("\"done\":true,\"status\":\"update\"");
std::string stage(const char* word, int index) {
  return send(std::string("\"set_state\":\"") + word +
              "\",\"set_state_index\":" + std::to_string(index) + ",\"status\":\"update\"");
}

// clang-format off
const ReportCase reportCases[] = {
  {"forwards: stages, a skipped stretch, one out of order, verification, counts past the area",
   0, 100, 16,
   stage("pass", 2) + progress(100, 4, 4) + progress(108, 12, 4) + progress(102, 12, 2) +
       passDone + stage("verifying", 0) + progress(100, 8, 8) + passDone +
       stage("scrubbing", 0) + progress(100, 20, 16) + progress(200, 20, 16),
   {"area 100 4", "status PASS 2 - 25% | 2.048KB | LBA: 100 | 0 errors", "percent 25",
    "area 104 8", "status PASS 2 - 75% | 6.144KB | LBA: 108 | 0 errors", "percent 75",
    "status PASS 2 - 75% | 6.144KB | LBA: 102 | 0 errors", "percent 75",
    "area 112 4",
    "status VERIFYING - 50% | 4.096KB | LBA: 100 | 0 errors", "percent 50",
    "area 100 16",
    "area 100 16", "status scrubbing - 100% | 10.24KB | LBA: 100 | 0 errors", "percent 100",
    "status scrubbing - 100% | 10.24KB | LBA: 200 | 0 errors", "percent 100"}},

  {"downwards: each stretch up to the last position, the first one up to the area's end",
   1, 100, 16,
   wiping + progress(112, 4, 4) + progress(104, 12, 8) + progress(110, 12, 2) + passDone +
       stage("pass", 1) + passDone,
   {"area 112 4", "status WIPING - 25% | 2.048KB | LBA: 112 | 0 errors", "percent 25",
    "area 104 8", "status WIPING - 75% | 6.144KB | LBA: 104 | 0 errors", "percent 75",
    "status WIPING - 75% | 6.144KB | LBA: 110 | 0 errors", "percent 75",
    "area 100 4",
    "area 100 16"}},

  {"an empty area is done at once and has nothing to report",
   0, 5, 0,
   wiping + progress(5, 0, 0) + passDone,
   {"status WIPING - 100% | 0 | LBA: 5 | 0 errors", "percent 100"}},
};
// clang-format on

} // namespace

// Every report as it comes (the reports come faster than a frame here): how often they are shown
// has a test of its own.
TEST(WipeModel, ProgressReports) {
  for (const ReportCase& c : reportCases) {
    SCOPED_TRACE(c.name);
    Harness harness(ready + anyLine + c.updates + done_reply(8192, 0), plainTemplate,
                    std::chrono::milliseconds(0));
    harness.model->options().set_mode(c.method);
    harness.model->set_lba(c.lba);
    harness.model->set_sectors(c.sectors);
    harness.step("arm", 3);
    std::vector<std::string> heard = {wipingState, wipingState};
    heard.insert(heard.end(), c.heard.begin(), c.heard.end());
    heard.insert(heard.end(), {wipingState, doneClean, "percent 100", doneState});
    EXPECT_EQ(harness.step("start", heard.size()), heard);
    harness.end();
  }
}

TEST(WipeModel, DoneFiguresRecordAndHistory) {
  const std::string writeError =
      send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"") + answer;
  const struct {
    const char* name;
    std::string updates;
    long long size, time;
    const char* line;
    std::uint32_t errors;
  } cases[] = {
      {"run time 0: no rate", wiping, 8192, 0,
       "DONE - 8.192KB | 0.00 seconds | 0 errors (Certificate)", 0},
      {"an ignored error: no certificate", wiping + writeError, 1000000, 2500,
       "DONE - 1.000MB | 2.50 seconds | 0.40MB/s | 1 errors", 1},
      // The engine's size is the last stage's, its time that of every stage.
      {"the rate counts what every pass wrote, not the verification",
       stage("pass", 1) + stage("pass", 2) + stage("pass", 3) + stage("verifying", 0), 1000000,
       1000, "DONE - 1.000MB | 1.00 seconds | 3.00MB/s | 0 errors (Certificate)", 0},
      {"no stage announced counts as one", "", 2000000, 1000,
       "DONE - 2.000MB | 1.00 seconds | 2.00MB/s | 0 errors (Certificate)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness harness(ready + anyLine + c.updates + done_reply(c.size, c.time));
    harness.model->options().set_ignore_write_errors(true);
    harness.model->set_lba(100);
    harness.step("arm", 3);
    const std::int64_t before = std::time(nullptr);
    std::vector<std::string> heard = harness.step("start", 2 + c.errors + 4);
    const std::int64_t after = std::time(nullptr);
    EXPECT_EQ(
        std::vector<std::string>(heard.end() - 3, heard.end()),
        (std::vector<std::string>{std::string("status ") + c.line, "percent 100", doneState}));
    EXPECT_EQ(task_log_heads(harness.model->log().text()).back(), c.line);

    const WipeRecord& record = harness.model->log().record();
    EXPECT_EQ(record.finished(), c.errors == 0);
    EXPECT_EQ(record.finish_time() != 0, c.errors == 0);
    EXPECT_EQ(record.drive().id(), "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(record.lba(), 100u);
    EXPECT_EQ(record.sectors(), 16u);
    EXPECT_TRUE(record.options().ignore_write_errors());

    const std::vector<MainLog::Entry>& history = MainLog::instance().entries();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_GE(history[0].time(), before);
    EXPECT_LE(history[0].time(), after);
    EXPECT_EQ(history[0].model(), "WD Blue");
    EXPECT_EQ(history[0].serial(), "WX1");
    EXPECT_EQ(history[0].wipe_method(), "Forward");
    EXPECT_EQ(history[0].wipe_lba(), 100u);
    EXPECT_EQ(history[0].wipe_sectors(), 16u);
    EXPECT_EQ(history[0].errors(), c.errors);
    harness.end();
  }
}

// An engine that reports progress without pause keeps neither the main loop nor the operator
// waiting: a timer of the loop runs at its time, and stop ends the engine in the middle of it.
TEST(WipeModel, AFloodingEngineIsStoppedWhileTheLoopRuns) {
  Harness harness(ready + anyLine + wiping +
                  "updates 2000000 0 \"lba\":%n,\"processedSectors\":%n,\"sectors\":1,"
                  "\"status\":\"update\"\n");
  // Each status line costs the view some time, as drawing it does in a window.
  struct SlowView : WipeModelRecorder {
    void status_changed(const char* text) override {
      const gint64 until = g_get_monotonic_time() + 20;
      while (g_get_monotonic_time() < until) {
      }
      WipeModelRecorder::status_changed(text);
    }
  } view;
  harness.model->set_view(&view);
  harness.model->arm();
  harness.model->start();
  ASSERT_TRUE(run_loop([&] { return view.events.size() > 100; }, wait_limit_us));
  LoopTicks ticks;
  // One second of the flood; a held loop would not run the timer until the flood ends.
  const gint64 until = g_get_monotonic_time() + 1000000;
  run_loop([&] { return g_get_monotonic_time() > until; });
  ticks.stop();
  EXPECT_GE(ticks.count(), 5);
  EXPECT_LT(ticks.longest_gap(), 500000) << "the main loop was held";
  EXPECT_EQ(harness.model->state(), WipeModel::State::Wiping);
  harness.model->stop();
  EXPECT_EQ(view.events.back(), idle);
  EXPECT_TRUE(run_loop([&] { return harness.engine.all_ended(); }, wait_limit_us));
  harness.end();
}

// A flood of progress reaches the view at most once a frame, and nothing but intermediate lines
// is left out: each stage's newest line comes before the next stage's, the areas add up to the
// whole way without a gap, and the error that stops the flood comes after all of it.
TEST(WipeModel, AFloodIsShownOnceAFrameWithNothingButOlderLinesLeftOut) {
  const std::string flood =
      "updates 200000 0 \"lba\":%n,\"processedSectors\":%n,\"sectors\":1,\"status\":\"update\"\n";
  Harness harness(ready + anyLine + stage("pass", 1) + flood + stage("pass", 2) + flood +
                  send("\"lba\":7,\"message\":\"write failed\",\"sectors\":2,"
                       "\"status\":\"error\""));
  struct TimedView : WipeModelRecorder {
    void status_changed(const char* text) override {
      if (std::string(text).rfind("PASS ", 0) == 0)
        shownAt.push_back(g_get_monotonic_time());
      WipeModelRecorder::status_changed(text);
    }
    std::vector<gint64> shownAt; // when each progress line was shown
  } view;
  harness.model->set_view(&view);
  harness.model->set_sectors(400000);
  harness.model->arm();
  harness.model->start();
  ASSERT_TRUE(run_loop(
      [&] {
        return view.events.back() == "status ERROR - Write failed (LBA: 7, "
                                     "sectors: 2)";
      },
      wait_limit_us))
      << testing::PrintToString(view.events);

  // One progress line a frame at the most, but for the first one and what the stage change and
  // the error show at once.
  const std::size_t lines = view.shownAt.size();
  const gint64 span = view.shownAt.back() - view.shownAt.front();
  EXPECT_LE(lines, static_cast<std::size_t>(span / 16000) + 3) << lines << " lines in " << span;
  EXPECT_LT(lines, 4000u);

  const std::string figures = "50% | " + format_size(200000 * 512) + " | LBA: 200000 | 0 errors";
  // The last line of each kind before the next kind (the stages, the READY question).
  std::vector<std::string> statuses, ends;
  for (const std::string& event : view.events)
    if (event.rfind("status ", 0) == 0)
      statuses.push_back(event.substr(7));
  for (std::size_t i = 0; i + 1 < statuses.size(); ++i)
    if (statuses[i].substr(0, 6) != statuses[i + 1].substr(0, 6))
      ends.push_back(statuses[i]);
  EXPECT_EQ(ends,
            (std::vector<std::string>{"READY - Data on this drive will be lost. Are you sure?",
                                      "PASS 1 - " + figures, "PASS 2 - " + figures}));
  // The areas of each pass: from the area's start on, each where the one before ended, to the
  // newest report's end.
  std::vector<std::vector<std::pair<std::uint64_t, std::uint64_t>>> passes;
  std::uint64_t end = 0;
  int gaps = 0;
  for (const auto& [lba, sectors] : view.areas) {
    if (lba == 0) {
      passes.push_back({});
      end = 0;
    }
    gaps += lba != end;
    end = lba + sectors;
    passes.back().push_back({lba, sectors});
  }
  EXPECT_EQ(gaps, 0);
  ASSERT_EQ(passes.size(), 2u);
  for (const auto& areas : passes)
    EXPECT_EQ(areas.back().first + areas.back().second, 200001u);
  const std::vector<std::string> ending(view.events.end() - 4, view.events.end());
  EXPECT_EQ(ending, (std::vector<std::string>{"percent 50", wipingState, waitingState,
                                              "status ERROR - Write failed (LBA: 7, sectors: 2)"}));
  harness.model->stop();
  harness.end();
}

// A wipe stopped on its way leaves a note of where it stopped, which Idle shows in place of the
// READY line; a command that never reached its engine wrote nothing and changes no note, and a
// wipe that ends takes the note away.
TEST(WipeModel, AStoppedWipeSaysWhereItStopped) {
  const std::string partly = "CANCELLED - The drive is only partly wiped: ";
  const std::string writeError =
      send("\"lba\":4,\"message\":\"write failed\",\"sectors\":2,\"status\":\"error\"");
  const struct {
    const char* name;
    std::string updates; // after the engine read the wipe
    std::size_t heard;   // notifications after start until the engine's last line is shown
    std::string note;
  } cases[] = {
      {"in a pass", stage("pass", 17) + progress(12, 12, 1), 5,
       partly + "PASS 17 stopped at LBA 12"},
      {"while verifying",
       wiping + progress(15, 16, 1) + passDone + stage("verifying", 0) + progress(6, 6, 6), 7,
       "CANCELLED - The drive is wiped, but not verified: VERIFYING stopped at LBA 6"},
      {"waiting at an error", wiping + progress(8, 8, 1) + writeError, 8,
       partly + "WIPING stopped at LBA 8"},
      {"before the engine said anything", "", 2,
       "CANCELLED - The drive may be partly wiped: the wipe stopped at its start"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness harness(ready + anyLine + c.updates + "---\n" + ready + anyLine + wiping +
                    done_reply(8192, 0) + answer + ready);
    harness.step("arm", 3);
    EXPECT_EQ(harness.model->cancelled_status(), "");
    harness.step("start", c.heard);
    harness.step("stop", 1);
    EXPECT_EQ(harness.model->cancelled_status(), c.note);
    EXPECT_EQ(harness.model->state(), WipeModel::State::Idle);

    // Armed again and stopped: nothing was sent, the note stays.
    harness.step("arm", 3);
    harness.step("stop", 1);
    EXPECT_EQ(harness.model->cancelled_status(), c.note);
    // Stopped while the new engine starts, before the command reached it: the same.
    harness.step("arm", 3);
    harness.model->start();
    harness.model->stop();
    EXPECT_EQ(harness.model->cancelled_status(), c.note);
    // A wipe that ends takes it away.
    harness.step("arm", 3);
    const std::vector<std::string> heard = harness.step("start", 6);
    EXPECT_EQ(heard.back(), doneState);
    EXPECT_EQ(harness.model->cancelled_status(), "");
    harness.step("start", 2);
    harness.end();
  }
}

// A done whose run size falls short of the area did not wipe all of it: an error, with no
// certificate and no history entry; start answers the engine as after any error. Exactly the
// area, or more, is a done.
TEST(WipeModel, ADoneThatDoesNotCoverTheAreaIsAnError) {
  const struct {
    const char* name;
    long long size;
    const char* line; // null: a clean done
  } cases[] = {
      {"half the area", 4096, "ERROR - Incomplete wipe: the driver was done after 8 of 16 sectors"},
      {"one byte short", 8191,
       "ERROR - Incomplete wipe: the driver was done after 15 of 16 sectors"},
      {"nothing", 0, "ERROR - Incomplete wipe: the driver was done after 0 of 16 sectors"},
      {"a negative size", -8192,
       "ERROR - Incomplete wipe: the driver was done after 0 of 16 sectors"},
      {"the whole area", 8192, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness harness(ready + anyLine + wiping + done_reply(c.size, 0) + answer + ready);
    harness.step("arm", 3);
    const std::vector<std::string> heard = harness.step("start", c.line ? 5 : 6);
    if (c.line == nullptr) {
      EXPECT_EQ(heard.back(), doneState);
      EXPECT_EQ(MainLog::instance().entries().size(), 1u);
      EXPECT_TRUE(harness.model->log().record().finished());
    } else {
      EXPECT_EQ(std::vector<std::string>(heard.end() - 2, heard.end()),
                (std::vector<std::string>{waitingState, std::string("status ") + c.line}));
      EXPECT_EQ(task_log_heads(harness.model->log().text()).back(), c.line);
      EXPECT_TRUE(MainLog::instance().entries().empty());
      EXPECT_FALSE(harness.model->log().record().finished());
      EXPECT_NE(harness.log.text().find("WipeModelImpl.cpp(420): run size " +
                                        std::to_string(c.size) + " of 16 sectors of 512 bytes\n"),
                std::string::npos)
          << harness.log.text();
    }
    EXPECT_EQ(harness.step("start", 2), (std::vector<std::string>{wipingState, idle}));
    harness.end();
  }
}

// Each error reply with its ignore choice on or off: an ignored one is answered at once and the
// wipe goes on; any other waits for the operator's start. The next progress line shows the
// count.
TEST(WipeModel, ErrorRepliesIgnoredOrWaiting) {
  const struct {
    std::string reply;
    const char* off; // the ignore choice turned off; null: all on
    const char* text;
    bool ignored;
    int counted;
  } cases[] = {
      {"\"lba\":4,\"message\":\"write failed\",\"sectors\":2", nullptr,
       "Write failed (LBA: 4, sectors: 2)", true, 1},
      {"\"lba\":4,\"message\":\"write failed\",\"sectors\":2", "write",
       "Write failed (LBA: 4, sectors: 2)", false, 1},
      {"\"lba\":5,\"message\":\"read failed\",\"sectors\":3", nullptr,
       "Read failed (LBA: 5, sectors: 3)", true, 1},
      {"\"lba\":5,\"message\":\"read failed\",\"sectors\":3", "read",
       "Read failed (LBA: 5, sectors: 3)", false, 1},
      {"\"lba\":6,\"message\":\"compare failed\",\"sectors\":1", nullptr,
       "Compare failed (LBA: 6, sectors: 1)", true, 1},
      {"\"lba\":6,\"message\":\"compare failed\",\"sectors\":1", "compare",
       "Compare failed (LBA: 6, sectors: 1)", false, 1},
      {"\"message\":\"init failed\"", nullptr, "Init failed", false, 0},
      {"\"message\":\"sync failed\"", nullptr, "Sync failed", false, 1},
      {"\"message\":\"disk on fire\"", nullptr, "disk on fire", false, 0},
      {"\"message\":\"wrong device\"", nullptr,
       "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened for: another disk has "
       "taken its place, and nothing was written",
       false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply + (c.off ? std::string(" without ignoring ") + c.off : ""));
    Harness harness(ready + anyLine + wiping + send(c.reply + ",\"status\":\"error\"") + answer +
                    progress(8, 16, 8));
    WipeOptions& options = harness.model->options();
    options.set_ignore_write_errors(c.off == nullptr || std::string(c.off) != "write");
    options.set_ignore_read_errors(c.off == nullptr || std::string(c.off) != "read");
    options.set_ignore_compare_errors(c.off == nullptr || std::string(c.off) != "compare");
    harness.step("arm", 3);
    const std::vector<std::string> progressed = {"area 0 16",
                                                 "status WIPING - 100% | 8.192KB | LBA: 8 | " +
                                                     std::to_string(c.counted) + " errors",
                                                 "percent 100"};
    std::vector<std::string> heard = {wipingState, wipingState, wipingState};
    if (c.ignored) {
      heard.insert(heard.end(), progressed.begin(), progressed.end());
      EXPECT_EQ(harness.step("start", heard.size()), heard);
    } else {
      heard.insert(heard.end(), {waitingState, std::string("status ERROR - ") + c.text});
      EXPECT_EQ(harness.step("start", heard.size()), heard);
      heard = {wipingState};
      heard.insert(heard.end(), progressed.begin(), progressed.end());
      EXPECT_EQ(harness.step("start", heard.size()), heard);
    }
    EXPECT_EQ(task_log_heads(harness.model->log().text()).back(), std::string("ERROR - ") + c.text);
    harness.end();
    EXPECT_EQ(harness.engine.input().substr(harness.engine.input().find('\n') + 1),
              "\"response\":\"ok\"\n");
  }
}

// The command on the wire: the template's own members kept, "command" overwritten, "device"
// replaced whole; and what the task log and the record hold.
TEST(WipeModel, WipeCommandLogAndRecord) {
  Harness harness(
      ready +
          R"(expect "command":"wipe","device":{"id":"\\\\.\\PhysicalDrive0","sectorSize":512,"type":"drive"},"disable cache":true,"jumpAfterErrorDouble":false,"jumpAfterErrorSectors":7,"lba":100,"mode":"dod_d","pattern":"AB\n","sectors":50,"sectorsPerTime":64,"updatePeriod":100,"verify":true,"zeta":"kept")"
          "\n",
      R"("wipe":{"command":{"command":"erase","device":{"type":"file","id":"x","use emulator":true},
                           "zeta":"kept","disable cache":true,"verify":"text"}})");
  WipeOptions& options = harness.model->options();
  options.set_pattern("AB\n");
  options.set_sectors_per_time(64);
  options.set_update_period(100);
  options.set_mode(3);
  options.set_jump_after_error_sectors(7);
  options.set_jump_after_error_double(false);
  options.set_verify(true);
  options.set_ignore_read_errors(true);
  harness.model->set_lba(100);
  harness.model->set_sectors(50);
  harness.step("arm", 3);
  EXPECT_EQ(harness.step("start", 2), (std::vector<std::string>{wipingState, wipingState}));
  ASSERT_TRUE(run_loop([&] { return !harness.engine.input().empty(); }, wait_limit_us));

  const std::vector<std::string> entries = task_log_entries(harness.model->log().text());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(std::regex_match(entries[0], std::regex(R"(\*\*\* [0-9]{2}/[0-9]{2}/[0-9]{2} \*\*\*
ID: \\\\\.\\PhysicalDrive0
MODEL: WD Blue
SERIAL: WX1
SECTORS: 2048
SECTOR SIZE: 512)")))
      << entries[0];
  EXPECT_EQ(entries[1], R"(*** START ***
STARTING LBA: 100
SECTORS: 50
WIPE METHOD: DoD 5220.22-M (D)
FILL PATTERN: AB\n
VERIFY AFTER WIPE: Yes)");
  const WipeRecord& record = harness.model->log().record();
  EXPECT_FALSE(record.finished());
  EXPECT_NE(record.start_time(), 0);
  EXPECT_EQ(record.lba(), 100u);
  EXPECT_EQ(record.sectors(), 50u);
  EXPECT_EQ(record.drive().serial(), "WX1");
  EXPECT_EQ(record.options().pattern(), "AB\n");
  EXPECT_TRUE(record.options().ignore_read_errors());
  harness.end();
}

TEST(WipeModel, LongFillPatternsAreCutInTheLog) {
  const std::string thirtyTwo = "0123456789abcdef0123456789abcdef";
  const struct {
    std::string pattern;
    std::string logged;
  } cases[] = {{thirtyTwo, thirtyTwo}, {thirtyTwo + "!", thirtyTwo + "..."}};
  for (const auto& c : cases) {
    Harness harness(ready + anyLine);
    harness.model->options().set_pattern(c.pattern);
    harness.step("arm", 3);
    harness.step("start", 2);
    const std::string start = task_log_entries(harness.model->log().text()).back();
    EXPECT_NE(start.find("\nFILL PATTERN: " + c.logged + "\nVERIFY AFTER WIPE: No"),
              std::string::npos)
        << start;
    harness.end();
  }
}

TEST(WipeModel, FactoryNeedsTheEngine) {
  LogCapture log;
  config::Value configuration(config::Value::Object);
  WipeModelFactoryImpl factory(configuration);
  EXPECT_THROW(factory.create(test_drive()), config::Value::Exception);
  configuration.set("Driver", 1);
  EXPECT_THROW(factory.create(test_drive()), config::Value::Exception);
}

// An engine that cannot be started fails the wipe like any engine failure; start then finds no
// engine and the model is idle.
TEST(WipeModel, EngineThatCannotStart) {
  use_fixed_zone_and_locale();
  TestMachine machine(test_drive_machine());
  LogCapture log;
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", "/nonexistent/cvwdrv");
  configuration["wipe"]["command"] = config::Value(config::Value::Object);
  WipeModelFactoryImpl factory(configuration);
  std::unique_ptr<WipeModel> model(factory.create(test_drive()));
  WipeModelRecorder view;
  model->set_view(&view);
  model->arm();
  model->start();
  model->start();
  EXPECT_EQ(view.events,
            with(armed, {wipingState, waitingState, "status ERROR - Cannot start driver", idle}));
  EXPECT_NE(log.text().find("WipeModelImpl.cpp(336): 0\n"), std::string::npos) << log.text();
  EXPECT_EQ(task_log_heads(model->log().text()).back(), "ERROR - Cannot start driver");
}
