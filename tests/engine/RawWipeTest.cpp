// Wipes, reads and blinks of raw devices through the real engine: disks and partitions of the
// simulated machine, with its failing sectors and flushes, and loop devices of this system that
// the test sets up itself (as root; skipped otherwise). Nothing here touches any other device:
// the loop tests check that the drive they name is their own loop device.
#include "EngineFixture.h"

#include "LinuxMachine.h"
#include "LoopDevice.h"
#include "SimulatedState.h"
#include "TestMachine.h"
#include "Utils.h"
#include "Win32Handle.h"
#include "random/Random.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace {

const std::string ready = "\"status\":\"ready\"";
const std::string passDone = "\"done\":true,\"status\":\"update\"";
const std::string initFailed = "\"message\":\"init failed\",\"status\":\"error\"";

std::string state(const char* name, int index = 0) {
  return std::string("\"set_state\":\"") + name +
         "\",\"set_state_index\":" + std::to_string(index) + ",\"status\":\"update\"";
}
std::string done(std::uint64_t bytes) {
  return "\"run size\":" + std::to_string(bytes) + ",\"run time\":T,\"status\":\"done\"";
}
std::string failed(const char* what, long long lba, long long sectors) {
  return "\"lba\":" + std::to_string(lba) + ",\"message\":\"" + what +
         " failed\",\"sectors\":" + std::to_string(sectors) + ",\"status\":\"error\"";
}
std::string progress(long long lba, long long processed, long long sectors) {
  return "\"lba\":" + std::to_string(lba) + ",\"processedSectors\":" + std::to_string(processed) +
         ",\"sectors\":" + std::to_string(sectors) + ",\"status\":\"update\"";
}

std::string drive(int number) { return "\\\\.\\PhysicalDrive" + std::to_string(number); }

// Disk 0 holds E:, F: and a volume with two letters, disk 1 holds K:; disk 2 has 4096-byte
// sectors; disk 3 cannot flush; disk 4 has sectors that cannot be written or read.
const char* const machineText = R"(
"drives": [
  { "number": 0, "size": 16777216 },
  { "number": 1, "size": 8388608 },
  { "number": 2, "size": 4194304, "sector size": 4096 },
  { "number": 3, "size": 1048576, "fail": ["FlushFileBuffers"] },
  { "number": 4, "size": 65536, "unwritable": [[40, 2]], "unreadable": [[100, 1]] }
],
"volumes": [
  { "guid": "bbbbbbbb-0000-4000-8000-000000000001", "disk": 0, "offset": 1048576,
    "length": 4194304, "file system": "NTFS", "letters": "E" },
  { "guid": "bbbbbbbb-0000-4000-8000-000000000002", "disk": 0, "offset": 5242880,
    "length": 4194304, "file system": "FAT32", "letters": "F" },
  { "guid": "bbbbbbbb-0000-4000-8000-000000000003", "disk": 0, "offset": 9437184,
    "length": 2097152, "file system": "NTFS", "letters": "GH" },
  { "guid": "bbbbbbbb-0000-4000-8000-000000000004", "disk": 1, "offset": 1048576,
    "length": 4194304, "file system": "NTFS", "letters": "K" }
]
)";

class SimulatedWipes : public EngineFixture {
protected:
  void SetUp() override {
    for (int disk : {0, 1})
      before[disk] = make_image(machine.image("disk" + std::to_string(disk) + ".img"),
                                disk == 0 ? 32768 : 16384, 512);
  }
  std::string image(int disk) const {
    return file_text(machine.image("disk" + std::to_string(disk) + ".img"));
  }
  platform::SimulatedState::Snapshot shared_state() const {
    platform::SimulatedState::Snapshot snapshot;
    EXPECT_TRUE(platform::SimulatedState(machine.path() + ".state").read(snapshot));
    return snapshot;
  }
  static std::string letters() {
    std::string text;
    for (int i = 0; i < 26; ++i)
      if (GetLogicalDrives() & (1u << i))
        text += static_cast<char>('A' + i);
    return text;
  }

  TestMachine machine{machineText};
  std::string before[2];
};

// The whole of disk 0: its volumes are held while the engine has the disk, the two with one
// letter lose it, and every sector gets the pattern; disk 1 is untouched.
TEST_F(SimulatedWipes, WholeDiskIsWipedAndItsVolumesTakenAway) {
  config::Value command = wipe_command(raw_device("drive", drive(0), 512), 0, 32768, 2048);
  command.set("verify", true);
  start_ready();
  std::size_t held = 0;
  const Exchange exchange = converse(*engine, line_of(command), [&](const config::Value& m) {
    if (m.get_string("status") == "done")
      held = shared_state().locks.size(); // the device is still open
    return "\"response\":\"ok\"";
  });
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, state("verifying"), passDone,
                                      done(16777216), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(3u, held);
  EXPECT_EQ(255, finish());
  std::string expected;
  for (int i = 0; i < 32768; ++i)
    expected += pattern_sector("CVW", 512);
  EXPECT_EQ("", first_difference(image(0), expected, 512));
  EXPECT_EQ("", first_difference(image(1), before[1], 512));
  EXPECT_EQ("GHK", letters());
  EXPECT_TRUE(shared_state().locks.empty()) << "the locks end with the engine";
}

// A partition: only its sectors are written, counted from its own start.
TEST_F(SimulatedWipes, PartitionIsWipedWithinItsBounds) {
  config::Value command = wipe_command(raw_device("partition", "\\\\.\\F:", 512), 0, 8192, 256);
  command.set("pattern", "P");
  start_ready();
  std::size_t dismounted = 0;
  const Exchange exchange = converse(*engine, line_of(command), [&](const config::Value& m) {
    if (m.get_string("status") == "done")
      dismounted = shared_state().dismounts.size();
    return "\"response\":\"ok\"";
  });
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, done(4194304), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(1u, dismounted);
  EXPECT_EQ(255, finish());
  std::string expected = before[0];
  expected.replace(5242880, 4194304, std::string(4194304, 'P'));
  EXPECT_EQ("", first_difference(image(0), expected, 512));
  EXPECT_EQ("EFGHK", letters());
}

// A disk with 4096-byte sectors, unbuffered, through a method with a random pass: its last pass
// leaves 0xFF, which the verifying pass reads back.
TEST_F(SimulatedWipes, LargeSectorDiskTakesEveryPassOfAMethod) {
  config::Value command = wipe_command(raw_device("drive", drive(2), 4096, true), 0, 1024, 64);
  command.set("mode", "dod_h");
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ((std::vector<std::string>{state("pass", 1), passDone, state("pass", 2), passDone,
                                      state("pass", 3), passDone, state("verifying"), passDone,
                                      done(4194304), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
  EXPECT_EQ("", first_difference(file_text(machine.image("disk2.img")),
                                 std::string(4194304, '\xff'), 4096));
  EXPECT_NE(std::string::npos, log_text().find("FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH"));
}

// A flush that fails is reported as "sync failed" in place of the final update of every pass
// that wrote, random passes included: no wipe ends on writes that may only have reached a cache.
TEST_F(SimulatedWipes, FailedFlushIsReported) {
  const std::string syncFailed = "\"message\":\"sync failed\",\"status\":\"error\"";
  start_ready();
  const Exchange exchange =
      converse(*engine, line_of(wipe_command(raw_device("drive", drive(3), 512), 0, 2048, 256)));
  EXPECT_EQ((std::vector<std::string>{state("wiping"), syncFailed, done(2048 * 512), ready}),
            without_run_time(exchange.replies));
  config::Value method = wipe_command(raw_device("drive", drive(3), 512), 0, 2048, 256);
  method.set("mode", "dod_h");
  EXPECT_EQ((std::vector<std::string>{state("pass", 1), syncFailed, state("pass", 2), syncFailed,
                                      state("pass", 3), syncFailed, done(2048 * 512), ready}),
            without_run_time(converse(*engine, line_of(method)).replies));
  EXPECT_EQ(255, finish());
  const std::string log = log_text();
  EXPECT_NE(std::string::npos, log.find("ReaderWin32.cpp(275): \\\\.\\PhysicalDrive3 "));
  EXPECT_NE(std::string::npos, log.find("DriverStd.cpp(112)\n"));
}

// Sectors that cannot be written are skipped and reported from the failing sector on, the good
// sectors of its chunk before it written; in the verifying pass the same for the sector that
// cannot be read, and every sector that the skip left as it was fails the comparison. The skip
// of 16 from sector 40 reaches into the next chunk: one transfer at a time, that chunk is never
// written; with transfers in flight it was written before the failure was known, and it stays
// written (the report still names the whole run skipped).
TEST_F(SimulatedWipes, FailingSectorsAreReportedAndSkipped) {
  for (const char* inFlight : {"1", "32"}) {
    SCOPED_TRACE(std::string("in flight: ") + inFlight);
    ScopedEnvironment transfers("CVW_TRANSFERS_IN_FLIGHT", std::string(inFlight));
    config::Value command = wipe_command(raw_device("drive", drive(4), 512), 0, 128, 16);
    command.set("verify", true);
    command.set("jumpAfterErrorSectors", 16);
    start_ready();
    const Exchange exchange = converse(*engine, line_of(command));
    std::vector<std::string> expected{state("wiping"), progress(40, 56, 16),
                                      failed("write", 40, 16), passDone, state("verifying")};
    const int unwritten = std::string(inFlight) == "1" ? 56 : 48;
    for (int lba = 40; lba < unwritten; ++lba)
      expected.push_back(failed("compare", lba, 1));
    expected.insert(expected.end(), {progress(100, 116, 16), failed("read", 100, 16), passDone,
                                     done(128 * 512), ready});
    EXPECT_EQ(expected, without_run_time(exchange.replies));
    EXPECT_EQ(255, finish());
  }
}

// A wipe refused for its sector size leaves the disk's letters and mounts alone, also on a disk
// that has volumes.
TEST_F(SimulatedWipes, SectorSizeMustBeTheDisks) {
  const struct {
    int drive;
    int sectorSize;
    const char* line;
  } cases[] = {{2, 512, "DriverStd.cpp(59): 4096 512\n"},
               {0, 4096, "DriverStd.cpp(59): 512 4096\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    start_ready();
    EXPECT_EQ((std::vector<std::string>{initFailed, ready}),
              converse(*engine, line_of(wipe_command(
                                    raw_device("drive", drive(c.drive), c.sectorSize), 0, 8, 8)))
                  .replies);
    EXPECT_EQ(255, finish());
    EXPECT_NE(std::string::npos, log_text().find(c.line));
    EXPECT_EQ("EFGHK", letters());
  }
}

// A command that names the disk it means by its identity: the engine opens the path and checks
// the disk it finds there. Another disk at the path, also one alike in every other respect put
// there between the client's own check and the engine's open, is refused with "wrong device"
// before anything of it is read, locked, dismounted or written; the disk asked for is wiped.
TEST_F(SimulatedWipes, ADiskNamedByItsIdentityIsTheOnlyOneWiped) {
  const auto identity_of = [](int number) {
    Win32Handle disk = Win32Handle::open(drive(number), 0);
    std::string identity;
    EXPECT_TRUE(disk.valid() && get_device_identity(disk.get(), identity));
    return identity;
  };
  const std::string disk0 = identity_of(0);
  const std::string disk1 = identity_of(1);
  ASSERT_NE(disk0, disk1);
  const std::string original = machineText;
  std::string twinText = original;
  const std::string first = R"({ "number": 0, "size": 16777216 })";
  twinText.replace(twinText.find(first), first.size(),
                   R"({ "number": 0, "size": 16777216, "image": "twin.img" })");
  const std::string twin = make_image(machine.image("twin.img"), 32768, 512);

  const std::string wrongDevice = "\"message\":\"wrong device\",\"status\":\"error\"";
  const auto with_identity = [](config::Value device, const std::string& identity) {
    device.set("identity", identity);
    return device;
  };
  config::Value read(config::Value::Object);
  read.set("command", "read sectors");
  read["device"] = with_identity(raw_device("drive", drive(0), 512), disk1);
  read.set("lba", 0);
  read.set("sectors", 1);
  const struct {
    const char* what;
    const std::string* machineFile;
    config::Value command;
    std::string reply;
  } refused[] = {
      {"another disk's identity", &original,
       wipe_command(with_identity(raw_device("drive", drive(0), 512), disk1), 0, 32768, 2048),
       wrongDevice},
      {"a twin put at the path after the identity was read", &twinText,
       wipe_command(with_identity(raw_device("drive", drive(0), 512), disk0), 0, 32768, 2048),
       wrongDevice},
      {"a read of another disk", &original, read, wrongDevice},
      {"an identity for a file", &original,
       wipe_command(with_identity(file_device(dir.file("plain.img")), disk0), 0, 8, 8), initFailed},
      {"an identity for the emulator", &original,
       wipe_command(with_identity(emulator_device({{0, 8}}, "E"), disk0), 0, 8, 8), initFailed},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    std::ofstream(machine.path(), std::ios::binary) << *c.machineFile;
    start_ready();
    EXPECT_EQ((std::vector<std::string>{c.reply, ready}),
              converse(*engine, line_of(c.command)).replies);
    EXPECT_EQ(255, finish());
    if (c.reply == wrongDevice) {
      EXPECT_NE(std::string::npos, log_text().find("ReaderWin32.cpp(67): " + drive(0) + " is "))
          << log_text();
    }
    EXPECT_EQ("", first_difference(image(0), before[0], 512));
    EXPECT_EQ("", first_difference(image(1), before[1], 512));
    EXPECT_EQ("", first_difference(file_text(machine.image("twin.img")), twin, 512));
    EXPECT_EQ("EFGHK", letters()) << "no drive letter was taken away";
    EXPECT_TRUE(shared_state().locks.empty());
    EXPECT_TRUE(shared_state().dismounts.empty());
  }

  // The disk the identity names, at its path: wiped as without one.
  std::ofstream(machine.path(), std::ios::binary) << original;
  start_ready();
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, done(16777216), ready}),
            without_run_time(
                converse(*engine, line_of(wipe_command(
                                      with_identity(raw_device("drive", drive(0), 512), disk0), 0,
                                      32768, 2048)))
                    .replies));
  EXPECT_EQ(255, finish());
  std::string expected;
  for (int i = 0; i < 32768; ++i)
    expected += pattern_sector("CVW", 512);
  EXPECT_EQ("", first_difference(image(0), expected, 512));
  EXPECT_EQ("", first_difference(image(1), before[1], 512));
}

// Reads and a blink of raw disks touch nothing: no letter goes, nothing is locked.
TEST_F(SimulatedWipes, ReadsAndBlinksOnlyRead) {
  start_ready();
  config::Value read(config::Value::Object);
  read.set("command", "read sectors");
  read["device"] = raw_device("drive", drive(0), 512);
  read.set("lba", 2048);
  read.set("sectors", 3);
  engine->send(line_of(read));
  std::string line;
  ASSERT_TRUE(engine->receive(line));
  config::Value reply(config::Value::Object);
  ASSERT_TRUE(reply.parse(line.c_str()));
  EXPECT_EQ("",
            first_difference(reply.get_string("data"), before[0].substr(2048 * 512, 1536), 512));
  EXPECT_TRUE(shared_state().locks.empty());
  EXPECT_EQ(255, finish());

  start_ready();
  config::Value blink(config::Value::Object);
  blink.set("command", "blink");
  blink["device"] = raw_device("drive", drive(2), 4096, true);
  blink.set("sectors", 1024);
  blink.set("sectorsPerTime", 256);
  blink.set("period", 0);
  engine->send(line_of(blink));
  for (long long lba : {0, 256, 512, 768, 0}) {
    ASSERT_TRUE(engine->receive(line));
    EXPECT_EQ("\"lba\":" + std::to_string(lba) + ",\"sectors\":256,\"status\":\"update\"", line);
  }
  engine->close_input();
  while (engine->receive(line)) {
  }
  EXPECT_EQ(255, engine->wait());
  EXPECT_EQ("EFGHK", letters());
}

// A machine file with a fault: every command that opens a device fails with "init failed", and
// the engine's log names the fault, also for a wipe, whose first look at the device is silent.
TEST_F(EngineFixture, TheFaultOfTheMachineFileReachesTheLogOfEveryCommand) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 65536, "colour": "red" } ])");
  const std::string fault = "SimulatedMachine.cpp(492): " + machine.path() +
                            ": drive 0 has the unknown member \"colour\"\n";
  config::Value wipe = wipe_command(raw_device("drive", drive(0), 512), 0, 8, 8);
  config::Value read(config::Value::Object);
  read.set("command", "read sectors");
  read["device"] = raw_device("drive", drive(0), 512);
  read.set("lba", 0);
  read.set("sectors", 1);
  config::Value blink(config::Value::Object);
  blink.set("command", "blink");
  blink["device"] = raw_device("drive", drive(0), 512);
  blink.set("sectors", 8);
  blink.set("sectorsPerTime", 8);
  blink.set("period", 0);
  for (const config::Value* command : {&wipe, &read, &blink}) {
    SCOPED_TRACE(command->get_string("command"));
    start_ready();
    EXPECT_EQ((std::vector<std::string>{initFailed, ready}),
              converse(*engine, line_of(*command)).replies);
    EXPECT_EQ(255, finish());
    EXPECT_NE(std::string::npos, log_text().find(fault)) << log_text();
  }
}

// How the engine's transfers of a loop device are run: "io_uring", or "threads", as where the
// kernel gives no ring.
struct LoopCase {
  unsigned sectorSize;
  const char* queue;
};

// A loop device of this system, as the last physical drive, wiped through its drive path.
class LoopWipes : public EngineFixture, public ::testing::WithParamInterface<LoopCase> {
protected:
  void SetUp() override {
    queue = std::make_unique<ScopedEnvironment>("CVW_TRANSFER_QUEUE", GetParam().queue);
    loop = std::make_unique<LoopDevice>(bytes, GetParam().sectorSize);
    if (!loop->why_not().empty())
      GTEST_SKIP() << loop->why_not();
    loops = std::make_unique<ScopedEnvironment>("CVW_LOOP_DEVICES", loop->name());
    const std::vector<std::string> names = platform::linux_drive_names();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(loop->name(), names.back()) << "the last drive must be this test's loop device";
    path = drive(static_cast<int>(names.size() - 1));
  }

  static constexpr std::uint64_t bytes = 8 * 1048576;
  ScopedEnvironment noMachine{"CVW_MACHINE", std::nullopt};
  std::unique_ptr<ScopedEnvironment> queue;
  std::unique_ptr<LoopDevice> loop;
  std::unique_ptr<ScopedEnvironment> loops;
  std::string path;
};

TEST_P(LoopWipes, WholeDeviceGetsThePattern) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize);
  for (bool unbuffered : {false, true}) {
    SCOPED_TRACE(unbuffered ? "disable buffering" : "buffered");
    const std::string pattern = unbuffered ? "DIRECT" : "LOOP";
    config::Value command =
        wipe_command(raw_device("drive", path, sectorSize, unbuffered), 0, sectors, 64);
    command.set("pattern", pattern);
    command.set("verify", true);
    start_ready();
    const Exchange exchange = converse(*engine, line_of(command));
    EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, state("verifying"), passDone,
                                        done(bytes), ready}),
              without_run_time(exchange.replies));
    EXPECT_EQ(255, finish());
    EXPECT_NE(std::string::npos, log_text().find("ReaderWin32.cpp(102): DeviceType: 7\n"))
        << log_text();
    std::string expected;
    for (long long i = 0; i < sectors; ++i)
      expected += pattern_sector(pattern, sectorSize);
    EXPECT_EQ("", first_difference(file_text(loop->image()), expected, sectorSize));
  }
}

// Where the kernel refuses the engine a ring, the engine says so in one debug-log line with the
// reason, and its threads wipe the device all the same; where the threads are asked for, one line
// says that instead, and where the ring is had, neither is written.
TEST_P(LoopWipes, ARefusedRingIsSaidAndTheThreadsWipe) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize);
  const bool forced = std::string(GetParam().queue) == "threads";
  const std::string askedLine = "TransferQueue.cpp(405): CVW_TRANSFER_QUEUE=threads: ";
  const std::string refusedLine = "TransferQueue.cpp(413): the kernel gives no io_uring (errno 1: ";
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  };
  for (EngineClient::Ring given : {EngineClient::Ring::Allowed, EngineClient::Ring::Refused}) {
    const bool refused = given == EngineClient::Ring::Refused;
    SCOPED_TRACE(refused ? "ring refused" : "ring allowed");
    ring = given;
    const std::string pattern = refused ? "NORING" : "RING";
    config::Value command = wipe_command(raw_device("drive", path, sectorSize), 0, sectors, 64);
    command.set("pattern", pattern);
    command.set("verify", true);
    start_ready();
    const Exchange exchange = converse(*engine, line_of(command));
    EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, state("verifying"), passDone,
                                        done(bytes), ready}),
              without_run_time(exchange.replies));
    EXPECT_EQ(255, finish());
    const std::string log = log_text();
    EXPECT_EQ(forced ? 1u : 0u, count(log, askedLine)) << log;
    EXPECT_EQ(refused && !forced ? 1u : 0u, count(log, refusedLine)) << log;
    std::string expected;
    for (long long i = 0; i < sectors; ++i)
      expected += pattern_sector(pattern, sectorSize);
    EXPECT_EQ("", first_difference(file_text(loop->image()), expected, sectorSize));
  }
}

// A random pass with its chunks in flight lays the process generator's stream over the range,
// chunk after chunk, up to a short last chunk, and reads back what it wrote without a fault: the
// last pass of "dod_d", with verification.
TEST_P(LoopWipes, RandomPassLaysTheGeneratorsStream) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize) - 7;
  config::Value command = wipe_command(raw_device("drive", path, sectorSize), 0, sectors, 256);
  command.set("mode", "dod_d");
  command.set("verify", true);
  const std::time_t from = std::time(nullptr);
  start_ready();
  const std::time_t by = std::time(nullptr);
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_TRUE(exchange.ready);
  for (const std::string& reply : exchange.replies)
    EXPECT_NE("error", status_of(reply)) << reply;
  EXPECT_EQ(255, finish());
  const std::string after = file_text(loop->image());
  std::string mismatch = "no seed";
  for (std::time_t t = from; t <= by && !mismatch.empty(); ++t) {
    RandomState stream = initial_random_state;
    stream.x ^= static_cast<std::uint32_t>(t);
    std::string expected = after;
    fill_random_from(stream, expected.data(), static_cast<std::uint64_t>(sectors) * sectorSize);
    mismatch = first_difference(after, expected, sectorSize);
  }
  EXPECT_EQ("", mismatch);
}

// Chunks small enough that the pass goes round the ring of buffers many times, and chunks of an
// odd size with a short last one: the ring is locked for the device while chunks are in flight,
// and every chunk after that, written from the locked ring, is still the generator's stream,
// read back without a fault.
TEST_P(LoopWipes, RandomPassRoundTheRingLaysTheGeneratorsStream) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize);
  for (long long perTime : {16, 1000}) {
    SCOPED_TRACE(std::to_string(perTime) + " sectors a chunk");
    config::Value command =
        wipe_command(raw_device("drive", path, sectorSize), 0, sectors, perTime);
    command.set("mode", "dod_d");
    command.set("verify", true);
    const std::time_t from = std::time(nullptr);
    start_ready();
    const std::time_t by = std::time(nullptr);
    const Exchange exchange = converse(*engine, line_of(command));
    EXPECT_TRUE(exchange.ready);
    for (const std::string& reply : exchange.replies)
      EXPECT_NE("error", status_of(reply)) << reply;
    EXPECT_EQ(255, finish());
    const std::string after = file_text(loop->image());
    std::string mismatch = "no seed";
    for (std::time_t t = from; t <= by && !mismatch.empty(); ++t) {
      RandomState stream = initial_random_state;
      stream.x ^= static_cast<std::uint32_t>(t);
      std::string expected = after;
      fill_random_from(stream, expected.data(), static_cast<std::uint64_t>(sectors) * sectorSize);
      mismatch = first_difference(after, expected, sectorSize);
    }
    EXPECT_EQ("", mismatch);
  }
}

// A blink reads the device unbuffered, in bursts of whole sectors from an aligned buffer.
TEST_P(LoopWipes, UnbufferedBlinkReadsBursts) {
  const unsigned sectorSize = GetParam().sectorSize;
  config::Value blink(config::Value::Object);
  blink.set("command", "blink");
  blink["device"] = raw_device("drive", path, sectorSize, true);
  blink.set("sectors", 600);
  blink.set("sectorsPerTime", 256);
  blink.set("period", 0);
  start_ready();
  engine->send(line_of(blink));
  std::string line;
  for (long long lba : {0, 256, 512, 0}) {
    ASSERT_TRUE(engine->receive(line));
    EXPECT_EQ("\"lba\":" + std::to_string(lba) + ",\"sectors\":" + (lba == 512 ? "88" : "256") +
                  ",\"status\":\"update\"",
              line);
  }
  engine->close_input();
  while (engine->receive(line)) {
  }
  EXPECT_EQ(255, engine->wait());
}

// Sectors read from the device so far, in 512-byte units, as the kernel counts them.
std::uint64_t sectors_read(const std::string& name) {
  std::ifstream stat("/sys/block/" + name + "/stat");
  std::uint64_t ios = 0, merges = 0, sectors = 0;
  stat >> ios >> merges >> sectors;
  return sectors;
}

// A verifying pass reads its whole range from the device, not from the system's cache of what
// the wiping pass wrote; the wiping pass alone reads next to nothing.
TEST_P(LoopWipes, VerifyReadsItsRangeFromTheDevice) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize);
  std::uint64_t read[2] = {0, 0};
  for (bool verify : {false, true}) {
    config::Value command = wipe_command(raw_device("drive", path, sectorSize), 0, sectors, 256);
    command.set("verify", verify);
    start_ready();
    const std::uint64_t before = sectors_read(loop->name());
    const Exchange exchange = converse(*engine, line_of(command));
    read[verify] = sectors_read(loop->name()) - before;
    EXPECT_TRUE(exchange.ready);
    EXPECT_EQ(255, finish());
  }
  EXPECT_LT(read[false], bytes / 512 / 2) << "the wiping pass read much";
  EXPECT_GE(read[true], read[false] + bytes / 512) << "the verifying pass did not read the range";
}

// What changes on the device behind the engine's back between its passes is found by the
// verifying pass: here a sector written into the loop device's backing file, with direct
// input and output, while the engine waits for the answer to the failure past the end of the
// device that closes its wiping pass.
TEST_P(LoopWipes, VerifyFindsWhatChangedBehindItsBack) {
  const unsigned sectorSize = GetParam().sectorSize;
  const long long sectors = static_cast<long long>(bytes / sectorSize);
  const long long changed = 5;
  config::Value command = wipe_command(raw_device("drive", path, sectorSize), 0, sectors + 1, 64);
  command.set("verify", true);
  start_ready();
  bool written = false;
  const Exchange exchange = converse(*engine, line_of(command), [&](const config::Value& m) {
    if (!written && m.get_string("status") == "error") {
      written = true;
      void* page = nullptr;
      EXPECT_EQ(0, posix_memalign(&page, 4096, sectorSize));
      std::memset(page, 'X', sectorSize);
      const int fd = ::open(loop->image().c_str(), O_WRONLY | O_DIRECT);
      EXPECT_GE(fd, 0);
      EXPECT_EQ(static_cast<ssize_t>(sectorSize),
                pwrite(fd, page, sectorSize, static_cast<off_t>(changed * sectorSize)));
      ::close(fd);
      std::free(page);
    }
    return "\"response\":\"ok\"";
  });
  EXPECT_EQ((std::vector<std::string>{state("wiping"), progress(sectors, sectors + 1, 1),
                                      failed("write", sectors, 1), passDone, state("verifying"),
                                      failed("compare", changed, 1),
                                      progress(sectors, sectors + 1, 1), failed("read", sectors, 1),
                                      passDone, done(bytes + sectorSize), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
}

// A wipe of the whole disk takes its file systems away first: one that nothing uses is
// unmounted (and nobody can mount it again while the engine holds the disk); one that is busy
// stays mounted, its partition is refused ("write failed", skipped) and keeps its bytes, and the
// rest of the disk is wiped.
TEST_P(LoopWipes, IdleFileSystemsAreUnmountedBusyOnesKeptAndSkipped) {
  const unsigned sectorSize = GetParam().sectorSize;
  const std::uint64_t mib = 1048576;
  std::string output;
  if (!loop->make_partitions({{mib, 3 * mib}, {4 * mib, 3 * mib}}, sectorSize, output))
    GTEST_SKIP() << "no partitions: " << output;
  std::string idle, busy;
  if (!loop->make_ext4("IDLE", output, loop->partition_node(1)) ||
      !loop->make_ext4("BUSY", output, loop->partition_node(2)))
    GTEST_SKIP() << "mkfs.ext4 failed: " << output;
  ASSERT_TRUE(loop->mount_partition(1, idle, output)) << output;
  ASSERT_TRUE(loop->mount_partition(2, busy, output)) << output;
  std::ofstream(busy + "/kept.txt") << "kept";
  std::ifstream inUse(busy + "/kept.txt"); // an open file keeps the file system busy
  ASSERT_TRUE(inUse.is_open());
  LoopDevice::run("sync --file-system '" + busy + "'", output); // its bytes, as they stay
  const std::string before = file_text(loop->image());

  const long long busyFirst = static_cast<long long>(4 * mib / sectorSize);
  const long long busyCount = static_cast<long long>(3 * mib / sectorSize);
  config::Value command = wipe_command(raw_device("drive", path, sectorSize), 0,
                                       static_cast<long long>(bytes / sectorSize), 64);
  command.set("jumpAfterErrorSectors", busyCount);
  start_ready();
  bool mountedWhileWiping = true;
  const Exchange exchange = converse(*engine, line_of(command), [&](const config::Value& m) {
    if (m.get_string("status") == "error") {
      EXPECT_EQ(m.get_string("message"), "write failed");
      EXPECT_GE(m.get_number("lba"), busyFirst);
      EXPECT_LE(m.get_number("lba") + m.get_number("sectors"), busyFirst + busyCount);
      // While the engine holds the disk, the idle file system cannot be mounted again.
      mountedWhileWiping = loop->mount_partition(1, idle, output);
    }
    return "\"response\":\"ok\"";
  });
  EXPECT_TRUE(exchange.ready);
  EXPECT_EQ(255, finish());
  EXPECT_FALSE(mountedWhileWiping) << "no write was refused, or the idle file system was mounted";
  EXPECT_FALSE(loop->is_mounted(loop->partition_node(1)));
  EXPECT_TRUE(loop->is_mounted(loop->partition_node(2)));

  const std::string after = file_text(loop->image());
  ASSERT_EQ(after.size(), before.size());
  std::string expected;
  for (long long lba = 0; lba < static_cast<long long>(bytes / sectorSize); ++lba)
    expected += lba >= busyFirst && lba < busyFirst + busyCount
                    ? before.substr(static_cast<std::size_t>(lba) * sectorSize, sectorSize)
                    : pattern_sector("CVW", sectorSize);
  EXPECT_EQ("", first_difference(after, expected, sectorSize));
}

std::string sector_size_name(const ::testing::TestParamInfo<LoopCase>& info) {
  return std::to_string(info.param.sectorSize);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, LoopWipes,
                         ::testing::Values(LoopCase{512, "io_uring"}, LoopCase{4096, "io_uring"}),
                         sector_size_name);
// The same where the kernel gives the engine no ring: its transfers go through threads.
INSTANTIATE_TEST_SUITE_P(WithoutRing, LoopWipes,
                         ::testing::Values(LoopCase{512, "threads"}, LoopCase{4096, "threads"}),
                         sector_size_name);

} // namespace
