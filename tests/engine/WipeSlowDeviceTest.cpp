// Pauses and interrupts of wipes with transfers in flight (eight), on slow devices (10 ms a
// request, served one at a time, the transfers in flight merged into requests) that write down
// every request with its times: a simulated drive, and a loop device over a FUSE file system
// (through either transfer queue). A pause and
// an interrupt both come only after the transfers in flight have ended, so that nothing reaches
// the device while the engine is paused, and nothing is written that the pass has not counted.
#include "EngineFixture.h"
#include "FaultyDisk.h"
#include "LinuxMachine.h"
#include "LoopDevice.h"
#include "TestMachine.h"

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using u64 = std::uint64_t;

constexpr u64 sectorSize = 512;
constexpr u64 diskSectors = 8192;
constexpr u64 rangeFirst = 256;
constexpr u64 rangeCount = 4096;
constexpr long long perTime = 16; // 256 chunks a pass, at least 32 requests of eight of them

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

enum class Slow { Simulated, FaultyLoop };

struct SlowCase {
  const char* name;
  Slow device;
  const char* queue; // the loop device's transfer queue
  const char* mode;
  bool verify;
  const char* pass; // the state message of the pass to pause, as the engine sends it
};

void PrintTo(const SlowCase& c, std::ostream* os) { *os << c.name; }

class SlowDevices : public EngineFixture, public ::testing::WithParamInterface<SlowCase> {
protected:
  void SetUp() override {
    const SlowCase& c = GetParam();
    if (c.device == Slow::Simulated) {
      simulated = std::make_unique<TestMachine>(
          "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(diskSectors * sectorSize) +
          ", \"merged requests\": true, \"request time\": 10, \"request log\": "
          "\"requests.txt\" }]");
      image = simulated->image("disk0.img");
      before = make_image(image, diskSectors, sectorSize);
      path = "\\\\.\\PhysicalDrive0";
      return;
    }
    FaultyDisk::Faults faults;
    faults.delayMs = 10;
    faults.logged = true;
    faulty = std::make_unique<FaultyDisk>(diskSectors * sectorSize, faults);
    if (!faulty->why_not().empty())
      GTEST_SKIP() << faulty->why_not();
    image = faulty->image();
    // Into the file that the file system has open.
    before = make_image(dir.file("before.img"), diskSectors, sectorSize);
    std::fstream(image, std::ios::in | std::ios::out | std::ios::binary)
        .write(before.data(), static_cast<std::streamsize>(before.size()));
    loop = std::make_unique<LoopDevice>(faulty->file(), static_cast<unsigned>(sectorSize));
    if (!loop->why_not().empty())
      GTEST_SKIP() << loop->why_not();
    noMachine = std::make_unique<ScopedEnvironment>("CVW_MACHINE", std::nullopt);
    queue = std::make_unique<ScopedEnvironment>("CVW_TRANSFER_QUEUE", std::string(c.queue));
    loops = std::make_unique<ScopedEnvironment>("CVW_LOOP_DEVICES", loop->name());
    const std::vector<std::string> names = platform::linux_drive_names();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(loop->name(), names.back()) << "the last drive must be this test's loop device";
    path = "\\\\.\\PhysicalDrive" + std::to_string(names.size() - 1);
  }

  std::vector<Request> requests() const {
    return requests_of(faulty ? faulty->log() : file_text(simulated->image("requests.txt")));
  }

  // Waits until the device has served `count` requests in all, for at most 30 seconds.
  void wait_for_requests(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (requests().size() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(requests().size(), count) << "the device serves no requests";
  }

  // Receives lines up to and with one whose status is `status`; false when none comes.
  bool receive_until(const std::string& status, std::string& line) {
    while (engine->receive(line, 60))
      if (status_of(line) == status)
        return true;
    return false;
  }

  config::Value command() const {
    config::Value wipe =
        wipe_command(raw_device("drive", path, sectorSize), rangeFirst, rangeCount, perTime);
    wipe.set("mode", GetParam().mode);
    wipe.set("verify", GetParam().verify);
    return wipe;
  }

  std::unique_ptr<TestMachine> simulated;
  std::unique_ptr<FaultyDisk> faulty; // before the loop device over it, which goes first
  std::unique_ptr<LoopDevice> loop;
  std::unique_ptr<ScopedEnvironment> noMachine, queue, loops;
  std::string image; // what the device's sectors are kept in
  std::string path;  // the device's drive path
  std::string before;
  // Fewer in flight than a pass has chunks, so that a line finds chunks still to start.
  ScopedEnvironment transfers{"CVW_TRANSFERS_IN_FLIGHT", std::string("8")};
};

class Pauses : public SlowDevices {};

// Between "paused" and the line that resumes, the device serves no request and its bytes stay as
// they are; every request served before "paused" had ended by then. The wipe then ends as it
// would have without the pause.
TEST_P(Pauses, LetNothingReachTheDevice) {
  const SlowCase& c = GetParam();
  start_ready();
  engine->send(line_of(command()));
  std::string line;
  while (engine->receive(line, 60) && line.find(c.pass) == std::string::npos) {
  }
  ASSERT_NE(std::string::npos, line.find(c.pass)) << "no pass " << c.pass;
  const std::size_t served = requests().size();
  wait_for_requests(served + 4); // several chunks in flight by now
  engine->send("\"command\":\"pause\"");
  ASSERT_TRUE(receive_until("paused", line)) << line;
  const std::int64_t paused = now_ns();
  const std::string atPause = file_text(image);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string atResume = file_text(image);
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
    const std::string after = file_text(image);
    const std::string pattern = pattern_sector("CVW", sectorSize);
    for (u64 s = rangeFirst; s < rangeFirst + rangeCount; ++s)
      ASSERT_EQ(pattern, after.substr(s * sectorSize, sectorSize)) << "sector " << s;
  }
}

constexpr Slow simulated = Slow::Simulated;
constexpr Slow fuse = Slow::FaultyLoop;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, Pauses,
    ::testing::Values(
        SlowCase{"PatternPass", simulated, "", "forward", false, "\"set_state\":\"wiping\""},
        SlowCase{"VerifyPass", simulated, "", "forward", true, "\"set_state\":\"verifying\""},
        SlowCase{"RandomPass", simulated, "", "dod_h", false,
                 "\"set_state\":\"pass\",\"set_state_index\":1"},
        SlowCase{"LoopPatternPass", fuse, "io_uring", "forward", false, "\"set_state\":\"wiping\""},
        SlowCase{"LoopVerifyPass", fuse, "io_uring", "forward", true, "\"set_state\":\"verifying\""},
        SlowCase{"ThreadsLoopPatternPass", fuse, "threads", "forward", false,
                 "\"set_state\":\"wiping\""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

class Interrupts : public SlowDevices {};

// An interrupt ends the pass with the transfers in flight ended and counted: the device holds the
// pattern over exactly the sectors that "done" counts ("run size"), from the start of the range,
// and nothing after them.
TEST_P(Interrupts, LeaveNothingWrittenUncounted) {
  start_ready();
  engine->send(line_of(command()));
  wait_for_requests(4);
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
  EXPECT_EQ("", first_difference(file_text(image), expected, sectorSize))
      << counted << " sectors counted";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, Interrupts,
    ::testing::Values(SlowCase{"PatternPass", simulated, "", "forward", false, ""},
                      SlowCase{"LoopPatternPass", fuse, "io_uring", "forward", false, ""},
                      SlowCase{"ThreadsLoopPatternPass", fuse, "threads", "forward", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
