// Pauses and interrupts of wipes with transfers in flight (eight), on a slow simulated drive
// (10 ms a request, served one at a time) that writes down every request with its times: a pause and an
// interrupt both come only after the transfers in flight have ended, so that nothing reaches the
// drive while the engine is paused, and nothing is written that the pass has not counted.
#include "EngineFixture.h"
#include "TestMachine.h"

#include <chrono>
#include <sstream>
#include <thread>

namespace {

using u64 = std::uint64_t;

constexpr u64 sectorSize = 512;
constexpr u64 diskSectors = 2048;
constexpr u64 rangeFirst = 256;
constexpr u64 rangeCount = 1024;
constexpr long long perTime = 16; // 64 requests a pass

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// One request of the drive's log.
struct Request {
  std::int64_t began, ended; // steady clock, nanoseconds, as this process reads it too
  std::string text;          // "write 256+16 ok"
};

std::vector<Request> requests_of(const std::string& log) {
  std::vector<Request> requests;
  std::istringstream lines(log);
  Request r;
  for (std::string kind, sector, count, outcome;
       lines >> r.began >> r.ended >> kind >> sector >> count >> outcome;) {
    r.text = kind + " " + sector + "+" + count + " " + outcome;
    requests.push_back(r);
  }
  return requests;
}

class SlowDrive : public EngineFixture {
protected:
  SlowDrive()
      : machine(
            "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(diskSectors * sectorSize) +
            ", \"request time\": 10, \"request log\": \"requests.txt\" }]"),
        before(make_image(machine.image("disk0.img"), diskSectors, sectorSize)) {}

  std::vector<Request> requests() const {
    return requests_of(file_text(machine.image("requests.txt")));
  }

  // Waits until the drive has served `count` requests in all, for at most 30 seconds.
  void wait_for_requests(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (requests().size() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(requests().size(), count) << "the drive serves no requests";
  }

  // Receives lines up to and with one whose status is `status`; false when none comes.
  bool receive_until(const std::string& status, std::string& line) {
    while (engine->receive(line, 60))
      if (status_of(line) == status)
        return true;
    return false;
  }

  config::Value command(const char* mode, bool verify) const {
    config::Value wipe = wipe_command(raw_device("drive", "\\\\.\\PhysicalDrive0", sectorSize),
                                      rangeFirst, rangeCount, perTime);
    wipe.set("mode", mode);
    wipe.set("verify", verify);
    return wipe;
  }

  TestMachine machine;
  std::string before;
  // Fewer in flight than a pass has chunks, so that a line finds chunks still to start.
  ScopedEnvironment transfers{"CVW_TRANSFERS_IN_FLIGHT", std::string("8")};
};

struct PauseCase {
  const char* name;
  const char* mode;
  bool verify;
  const char* pass; // the state message of the pass to pause, as the engine sends it
};

void PrintTo(const PauseCase& c, std::ostream* os) { *os << c.name; }

class Pauses : public SlowDrive, public ::testing::WithParamInterface<PauseCase> {};

// Between "paused" and the line that resumes, the drive serves no request and its bytes stay as
// they are; every request served before "paused" had ended by then. The wipe then ends as it
// would have without the pause.
TEST_P(Pauses, LetNothingReachTheDrive) {
  const PauseCase& c = GetParam();
  start_ready();
  engine->send(line_of(command(c.mode, c.verify)));
  std::string line;
  while (engine->receive(line, 60) && line.find(c.pass) == std::string::npos) {
  }
  ASSERT_NE(std::string::npos, line.find(c.pass)) << "no pass " << c.pass;
  const std::size_t served = requests().size();
  wait_for_requests(served + 8); // several chunks in flight by now
  engine->send("\"command\":\"pause\"");
  ASSERT_TRUE(receive_until("paused", line)) << line;
  const std::int64_t paused = now_ns();
  const std::string atPause = file_text(machine.image("disk0.img"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string atResume = file_text(machine.image("disk0.img"));
  const std::int64_t resumed = now_ns();
  engine->send("\"response\":\"ok\"");
  ASSERT_TRUE(engine->receive(line, 60));
  EXPECT_EQ("resumed", status_of(line));
  for (bool ready = false; !ready;) {
    ASSERT_TRUE(engine->receive(line, 60)) << "the wipe does not end";
    const std::string status = status_of(line);
    EXPECT_NE("error", status) << line;
    ready = status == "ready";
    if (status == "done")
      engine->send("\"response\":\"ok\"");
  }
  EXPECT_EQ(255, finish());

  EXPECT_EQ("", first_difference(atResume, atPause, sectorSize)) << "written while paused";
  for (const Request& r : requests())
    EXPECT_TRUE(r.ended < paused || r.began > resumed)
        << r.text << " from " << (r.began - paused) / 1000 << " to " << (r.ended - paused) / 1000
        << " us after \"paused\", which lasted " << (resumed - paused) / 1000 << " us";
  if (std::string(c.mode) == "forward") {
    const std::string after = file_text(machine.image("disk0.img"));
    const std::string pattern = pattern_sector("CVW", sectorSize);
    for (u64 s = rangeFirst; s < rangeFirst + rangeCount; ++s)
      ASSERT_EQ(pattern, after.substr(s * sectorSize, sectorSize)) << "sector " << s;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, Pauses,
    ::testing::Values(PauseCase{"PatternPass", "forward", false, "\"set_state\":\"wiping\""},
                      PauseCase{"VerifyPass", "forward", true, "\"set_state\":\"verifying\""},
                      PauseCase{"RandomPass", "dod_h", false,
                                "\"set_state\":\"pass\",\"set_state_index\":1"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// An interrupt ends the pass with the transfers in flight ended and counted: the drive holds the
// pattern over exactly the sectors that "done" counts ("run size"), from the start of the range,
// and nothing after them.
TEST_F(SlowDrive, InterruptLeavesNothingWrittenUncounted) {
  start_ready();
  engine->send(line_of(command("forward", false)));
  wait_for_requests(8);
  engine->send("\"command\":\"interrupt\"");
  std::string line;
  ASSERT_TRUE(receive_until("done", line)) << line;
  config::Value done(config::Value::Object);
  ASSERT_TRUE(done.parse(line.c_str()));
  const u64 counted = static_cast<u64>(done.get_number("run size")) / sectorSize;
  engine->send("\"response\":\"ok\"");
  ASSERT_TRUE(receive_until("ready", line));
  EXPECT_EQ(255, finish());
  EXPECT_GT(counted, 0u);
  EXPECT_LT(counted, rangeCount) << "the pass ended before the interrupt came";
  std::string expected = before;
  const std::string pattern = pattern_sector("CVW", sectorSize);
  for (u64 s = rangeFirst; s < rangeFirst + counted; ++s)
    expected.replace(s * sectorSize, sectorSize, pattern);
  EXPECT_EQ("", first_difference(file_text(machine.image("disk0.img")), expected, sectorSize))
      << counted << " sectors counted";
}

} // namespace
