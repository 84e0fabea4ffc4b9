// Wipes of the emulated device through the real engine: failing sectors and their skips, read
// back and compare failures, pause, resume, interrupt and paced progress. Every transfer of the
// emulated device takes one second, so these wipes are kept to a few chunks.
#include "EngineFixture.h"

namespace {

const std::string ready = "\"status\":\"ready\"";
const std::string passDone = "\"done\":true,\"status\":\"update\"";

std::string state(const char* name) {
  return std::string("\"set_state\":\"") + name + "\",\"set_state_index\":0,\"status\":\"update\"";
}
std::string done(std::uint64_t bytes) {
  return "\"run size\":" + std::to_string(bytes) + ",\"run time\":T,\"status\":\"done\"";
}
std::string progress(int lba, int processed, int sectors) {
  return "\"lba\":" + std::to_string(lba) + ",\"processedSectors\":" + std::to_string(processed) +
         ",\"sectors\":" + std::to_string(sectors) + ",\"status\":\"update\"";
}
std::string failed(const char* what, int lba, int sectors) {
  return "\"lba\":" + std::to_string(lba) + ",\"message\":\"" + what +
         " failed\",\"sectors\":" + std::to_string(sectors) + ",\"status\":\"error\"";
}

struct EmulatedWipe {
  const char* name;
  std::vector<std::pair<long long, long long>> good;
  const char* mode;
  bool verify;
  long long lba, sectors, sectorsPerTime, jump;
  std::vector<std::string> messages;
};

class EmulatedWipes : public EngineFixture, public ::testing::WithParamInterface<EmulatedWipe> {};

TEST_P(EmulatedWipes, ReportEveryFailureAndGoOn) {
  const EmulatedWipe& c = GetParam();
  config::Value command =
      wipe_command(emulator_device(c.good, "EMU"), c.lba, c.sectors, c.sectorsPerTime);
  command.set("mode", c.mode);
  command.set("verify", c.verify);
  command.set("jumpAfterErrorSectors", c.jump);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ(c.messages, without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
  EXPECT_NE(std::string::npos, log_text().find("DriverStd.cpp(30): use emulator\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EmulatedWipes,
    ::testing::Values(
        // A short chunk counts its good sectors done and skips from the first bad one; a chunk
        // in the gap fails at once.
        EmulatedWipe{"ForwardSkipsTheGap",
                     {{0, 6}, {10, 100}},
                     "forward",
                     false,
                     0,
                     12,
                     4,
                     2,
                     {state("wiping"), progress(6, 8, 2), failed("write", 6, 2), progress(8, 10, 2),
                      failed("write", 8, 2), passDone, done(12 * 512), ready}},
        // A failed chunk counts nothing; probes from the top find the bad sector.
        EmulatedWipe{"ReverseProbesFromTheTop",
                     {{0, 3}},
                     "reverse",
                     false,
                     0,
                     4,
                     4,
                     1,
                     {state("wiping"), progress(3, 1, 1), failed("write", 3, 1), passDone,
                      done(4 * 512), ready}},
        // The emulated device reads its own pattern, which is not the one written: every sector
        // read back is a compare failure of its own, and the sector it cannot read a read
        // failure.
        EmulatedWipe{"VerifyReportsEachSector",
                     {{0, 2}},
                     "forward",
                     true,
                     0,
                     3,
                     3,
                     1,
                     {state("wiping"), progress(2, 3, 1), failed("write", 2, 1), passDone,
                      state("verifying"), failed("compare", 0, 1), failed("compare", 1, 1),
                      progress(2, 3, 1), failed("read", 2, 1), passDone, done(3 * 512), ready}}),
    [](const auto& info) { return std::string(info.param.name); });

// An "interrupt" answer to a failure ends that pass only: its final report goes out, the verify
// pass still runs, and the wipe ends with "done".
TEST_F(EngineFixture, InterruptAnswerEndsOnlyTheRunningPass) {
  config::Value command = wipe_command(emulator_device({}, "EMU"), 0, 2, 1);
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command), [](const config::Value& m) {
    return m.has("message") && m.get_string("message") == "write failed"
               ? "\"command\":\"interrupt\""
               : "\"response\":\"ok\"";
  });
  EXPECT_EQ((std::vector<std::string>{state("wiping"), progress(0, 1, 1), failed("write", 0, 1),
                                      passDone, state("verifying"), progress(0, 1, 1),
                                      failed("read", 0, 1), progress(1, 2, 1), failed("read", 1, 1),
                                      passDone, done(2 * 512), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
}

// A line sent while a pass runs pauses it before its next chunk; the answer to "paused" resumes
// it. The pass is four chunks of one second, far longer than the line takes to arrive. A blank
// line is a line like any other: it pauses at once, and blank answers resume the pass and
// acknowledge "done".
TEST_F(EngineFixture, LineDuringAPassPausesAndTheNextResumes) {
  for (const std::string pause : {"\"command\":\"pause\"", ""}) {
    SCOPED_TRACE("pause line: " + pause);
    start_ready();
    const Exchange exchange = converse(
        *engine, line_of(wipe_command(emulator_device({{0, 100}}, "EMU"), 0, 4, 1)),
        [&](const config::Value&) { return pause.empty() ? "" : "\"response\":\"ok\""; }, {pause});
    EXPECT_EQ((std::vector<std::string>{state("wiping"), "\"status\":\"paused\"",
                                        "\"status\":\"resumed\"", passDone, done(4 * 512), ready}),
              without_run_time(exchange.replies));
    EXPECT_EQ(255, finish());
  }
}

// An "interrupt" line during a pass ends the pass without a pause, and the wipe still ends with
// its final report and "done".
TEST_F(EngineFixture, InterruptLineDuringAPassEndsIt) {
  start_ready();
  const Exchange exchange =
      converse(*engine, line_of(wipe_command(emulator_device({{0, 100}}, "EMU"), 0, 4, 1)), {},
               {"\"command\":\"interrupt\""});
  const std::vector<std::string> replies = without_run_time(exchange.replies);
  ASSERT_EQ(4u, replies.size()) << ::testing::PrintToString(replies);
  EXPECT_EQ(state("wiping"), replies[0]);
  EXPECT_EQ(passDone, replies[1]);
  EXPECT_EQ("done", status_of(exchange.replies[2]));
  EXPECT_EQ(ready, replies[3]);
  EXPECT_EQ(255, finish());
}

// With a period of 1 ms every chunk of the emulated device, which takes a second, is reported.
TEST_F(EngineFixture, ProgressFollowsTheUpdatePeriod) {
  config::Value command = wipe_command(emulator_device({{0, 100}}, "EMU"), 10, 3, 1);
  command.set("updatePeriod", 1);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ((std::vector<std::string>{state("wiping"), progress(10, 1, 1), progress(11, 2, 1),
                                      progress(12, 3, 1), passDone, done(3 * 512), ready}),
            without_run_time(exchange.replies));
}

} // namespace
