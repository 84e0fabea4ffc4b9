// Wipes over failing sectors, end to end: the engine wipes and verifies a range of a simulated
// disk whose bad sectors fail a whole transfer, as a device does, without saying which sector
// failed. Every report and every byte of the disk afterwards is checked against the bad sectors:
// each report starts (forward) or ends (reverse) at a failing sector, every sector that no report
// skipped holds the method's data, and the verify pass compares every sector it can read.
#include "EngineFixture.h"
#include "FaultyDisk.h"
#include "LinuxMachine.h"
#include "LoopDevice.h"
#include "TestMachine.h"
#include "random/Random.h"

#include <ctime>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

using u64 = std::uint64_t;
using Runs = std::vector<std::pair<u64, u64>>; // [first sector, count]

constexpr u64 rangeFirst = 100;
constexpr u64 rangeCount = 32;
constexpr u64 perTime = 8; // chunks at 100, 108, 116 and 124
constexpr u64 diskSectors = 256;
constexpr u64 sectorSize = 512;

std::string list_text(const Runs& runs) {
  std::ostringstream text;
  text << '[';
  for (std::size_t i = 0; i < runs.size(); ++i)
    text << (i > 0 ? "," : "") << '[' << runs[i].first << ',' << runs[i].second << ']';
  text << ']';
  return text.str();
}

std::set<u64> sectors_of(const Runs& runs) {
  std::set<u64> sectors;
  for (const auto& [first, count] : runs)
    for (u64 s = first; s < first + count; ++s)
      sectors.insert(s);
  return sectors;
}

std::set<u64> in_range(const std::set<u64>& sectors) {
  std::set<u64> inside;
  for (u64 s : sectors)
    if (s >= rangeFirst && s < rangeFirst + rangeCount)
      inside.insert(s);
  return inside;
}

// The error replies of a wipe, by message.
struct Reports {
  Runs writeFailed, readFailed, compareFailed;
};

Reports reports_of(const std::vector<std::string>& replies) {
  Reports reports;
  for (const std::string& line : replies) {
    config::Value reply(config::Value::Object);
    EXPECT_TRUE(reply.parse(line.c_str())) << line;
    if (reply.get_string("status") != "error")
      continue;
    const std::pair<u64, u64> run(reply.get_number("lba"), reply.get_number("sectors"));
    const std::string message = reply.get_string("message");
    Runs& runs = message == "write failed"  ? reports.writeFailed
                 : message == "read failed" ? reports.readFailed
                                            : reports.compareFailed;
    EXPECT_TRUE(message == "write failed" || message == "read failed" ||
                message == "compare failed")
        << line;
    runs.push_back(run);
  }
  return reports;
}

// Each run is inside the range, skips at least the failing sector, and starts (forward) or ends
// (reverse) with a sector of `bad`.
void expect_runs_name_failing_sectors(const Runs& runs, const std::set<u64>& bad, bool reverse,
                                      const char* what) {
  for (const auto& [first, count] : runs) {
    SCOPED_TRACE(std::string(what) + " " + std::to_string(first) + "+" + std::to_string(count));
    EXPECT_GE(count, 1u);
    EXPECT_GE(first, rangeFirst);
    EXPECT_LE(first + count, rangeFirst + rangeCount);
    EXPECT_EQ(1u, bad.count(reverse ? first + count - 1 : first));
  }
}

struct Case {
  const char* name;
  bool reverse;
  long long jump;
  bool doubling;
  Runs unwritable, unreadable;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// One disk whose bad sectors are those of the case.
std::string machine_text(const Case& c) {
  return "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(diskSectors * sectorSize) +
         ", \"unwritable\": " + list_text(c.unwritable) +
         ", \"unreadable\": " + list_text(c.unreadable) + " }]";
}

// The verified wipe of the range in the case's direction and with its skips after a failure,
// `sectorsPerTime` sectors a transfer.
config::Value verified_wipe(const Case& c, u64 sectorsPerTime) {
  config::Value command = wipe_command(raw_device("drive", "\\\\.\\PhysicalDrive0", sectorSize),
                                       rangeFirst, rangeCount, sectorsPerTime);
  command.set("mode", c.reverse ? "reverse" : "forward");
  command.set("verify", true);
  command.set("jumpAfterErrorSectors", c.jump);
  command.set("jumpAfterErrorDouble", c.doubling);
  return command;
}

class FailingSectors : public EngineFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(FailingSectors, AreReportedExactlyAndEveryOtherSectorIsWipedAndVerified) {
  const Case& c = GetParam();
  TestMachine machine(machine_text(c));
  const std::string image = machine.image("disk0.img");
  const std::string before = make_image(image, diskSectors, sectorSize);
  const config::Value command = verified_wipe(c, perTime);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  ASSERT_TRUE(exchange.ready);
  EXPECT_EQ(255, finish());
  const Reports reports = reports_of(exchange.replies);
  const std::set<u64> unwritable = in_range(sectors_of(c.unwritable));
  const std::set<u64> unreadable = in_range(sectors_of(c.unreadable));

  // The wiping pass: every unwritable sector is reported, each report from a failing sector.
  expect_runs_name_failing_sectors(reports.writeFailed, unwritable, c.reverse, "write failed");
  const std::set<u64> notWritten = sectors_of(reports.writeFailed);
  for (u64 s : unwritable)
    EXPECT_EQ(1u, notWritten.count(s)) << "unwritable sector " << s << " not reported";

  // The disk: every sector of the range that no report skipped holds the pattern, every other
  // sector is as it was.
  const std::string after = file_text(image);
  ASSERT_EQ(before.size(), after.size());
  const std::string pattern = pattern_sector("CVW", sectorSize);
  for (u64 s = 0; s < diskSectors; ++s) {
    const bool wiped = s >= rangeFirst && s < rangeFirst + rangeCount && notWritten.count(s) == 0;
    const std::string expected = wiped ? pattern : before.substr(s * sectorSize, sectorSize);
    EXPECT_EQ(expected, after.substr(s * sectorSize, sectorSize))
        << "sector " << s << (wiped ? " is not wiped" : " is changed");
  }

  // The verifying pass: the same for the sectors that cannot be read; every other sector is
  // compared, so exactly those left unwritten fail the comparison, one by one.
  expect_runs_name_failing_sectors(reports.readFailed, unreadable, c.reverse, "read failed");
  const std::set<u64> notRead = sectors_of(reports.readFailed);
  for (u64 s : unreadable)
    EXPECT_EQ(1u, notRead.count(s)) << "unreadable sector " << s << " not reported";
  std::set<u64> differing;
  for (u64 s : notWritten)
    if (notRead.count(s) == 0)
      differing.insert(s);
  for (const auto& [first, count] : reports.compareFailed)
    EXPECT_EQ(1u, count) << "compare failed at " << first;
  EXPECT_EQ(differing, sectors_of(reports.compareFailed));

  // Skipping one sector after a failure leaves out nothing but the failing sectors.
  if (c.jump == 1 && !c.doubling) {
    EXPECT_EQ(unwritable, notWritten);
    EXPECT_EQ(unreadable, notRead);
  }
}

// Transfers in flight change nothing that the walk decides: the wiping pass sends the replies of
// the same wipe made one transfer at a time, and the disk holds the same bytes, except where a
// skip reaches past the failing chunk into chunks that were written ahead, before the failure
// was known: those sectors of the skipped run hold the pattern (and so verify as wiped).
TEST_P(FailingSectors, InFlightGiveWhatOneAtATimeGives) {
  const Case& c = GetParam();
  std::string images[2];
  std::vector<std::string> replies[2];
  Runs skippedRuns;
  for (int inFlight : {0, 1}) {
    ScopedEnvironment transfers("CVW_TRANSFERS_IN_FLIGHT", std::string(inFlight ? "32" : "1"));
    TestMachine machine(machine_text(c));
    make_image(machine.image("disk0.img"), diskSectors, sectorSize);
    const config::Value command = verified_wipe(c, perTime / 2);
    start_ready();
    const Exchange exchange = converse(*engine, line_of(command));
    ASSERT_TRUE(exchange.ready);
    EXPECT_EQ(255, finish());
    replies[inFlight] = without_run_time(exchange.replies);
    if (inFlight == 0)
      skippedRuns = reports_of(exchange.replies).writeFailed;
    images[inFlight] = file_text(machine.image("disk0.img"));
  }
  const auto wiping = [](const std::vector<std::string>& lines) {
    return std::vector<std::string>(
        lines.begin(), std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
          return line.find("\"set_state\":\"verifying\"") != std::string::npos;
        }));
  };
  EXPECT_EQ(wiping(replies[0]), wiping(replies[1]));
  const std::set<u64> skipped = sectors_of(skippedRuns);
  const std::string pattern = pattern_sector("CVW", sectorSize);
  ASSERT_EQ(images[0].size(), images[1].size());
  for (u64 s = 0; s < diskSectors; ++s) {
    const std::string oneAtATime = images[0].substr(s * sectorSize, sectorSize);
    const std::string inFlight = images[1].substr(s * sectorSize, sectorSize);
    if (oneAtATime != inFlight) {
      EXPECT_TRUE(skipped.count(s) == 1 && inFlight == pattern) << "sector " << s;
    }
  }
  if (c.jump == 1 && !c.doubling) {
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ(images[0], images[1]);
  }
}

// A clean random pass with transfers in flight lays the process generator's stream over the
// range chunk after chunk, as one transfer at a time does: the last pass of "dod_d" is random.
TEST_F(EngineFixture, RandomStreamInFlightIsTheGeneratorsStream) {
  TestMachine machine("\"drives\": [{ \"number\": 0, \"size\": " +
                      std::to_string(diskSectors * sectorSize) + " }]");
  const std::string before = make_image(machine.image("disk0.img"), diskSectors, sectorSize);
  config::Value command = wipe_command(raw_device("drive", "\\\\.\\PhysicalDrive0", sectorSize),
                                       rangeFirst, rangeCount, 3);
  command.set("mode", "dod_d");
  const std::time_t from = std::time(nullptr);
  start_ready();
  const std::time_t by = std::time(nullptr);
  ASSERT_TRUE(converse(*engine, line_of(command)).ready);
  EXPECT_EQ(255, finish());
  const std::string after = file_text(machine.image("disk0.img"));
  std::string mismatch = "no seed";
  for (std::time_t t = from; t <= by && !mismatch.empty(); ++t) {
    RandomState stream = initial_random_state;
    stream.x ^= static_cast<std::uint32_t>(t);
    std::string expected = before;
    std::string range(rangeCount * sectorSize, '\0');
    fill_random_from(stream, range.data(), range.size());
    expected.replace(rangeFirst * sectorSize, range.size(), range);
    mismatch = first_difference(after, expected, sectorSize);
  }
  EXPECT_EQ("", mismatch);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, FailingSectors,
    ::testing::Values(
        // Inside chunks, two in a row among them.
        Case{"ForwardInsideChunks", false, 1, false, {{104, 2}, {120, 1}}, {{110, 1}, {125, 2}}},
        Case{"ReverseInsideChunks", true,  1, false, {{104, 2}, {120, 1}}, {{110, 1}, {125, 2}}},
        // The first and last sectors of the range and of chunks.
        Case{"ForwardEdges", false, 1, false, {{100, 1}, {115, 2}, {131, 1}}, {{107, 2}, {124, 1}}},
        Case{"ReverseEdges", true,  1, false, {{100, 1}, {115, 2}, {131, 1}}, {{107, 2}, {124, 1}}},
        // Bad sectors outside the range are never touched.
        Case{"ForwardBesideTheRange", false, 1, false, {{99, 1}, {132, 1}}, {{96, 4}}},
        // Longer skips and doubling leave good sectors out, as asked; they are not written, and
        // the verify pass finds them.
        Case{"ForwardDoubling", false, 2, true,  {{104, 2}, {114, 3}}, {{109, 1}, {110, 1}}},
        Case{"ReverseDoubling", true,  2, true,  {{104, 2}, {114, 3}}, {{109, 1}, {110, 1}}},
        Case{"ForwardLongSkip", false, 5, false, {{103, 1}, {129, 1}}, {{126, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Devices whose requests fail whole for one bad sector among the transfers that the device
// merged into them, as the block layer and real disks do: a simulated drive whose queue merges
// the transfers in flight, and a loop device over a FUSE file system whose requests fail at the
// bad sectors (the kernel merges there, through either transfer queue). The walk tries a
// transfer that failed beside others again alone, so that every failure report names a failing
// sector and every good sector is wiped and verified, at every chunk size and in both
// directions.
enum class Merging { Simulated, FaultyLoop };

struct MergedCase {
  const char* name;
  Merging device;
  const char* queue; // the loop device's transfer queue
  bool reverse;
  u64 perTime;
  u64 sectorSize;
  bool once; // the bad sectors fail the first request that meets them, then work
};

void PrintTo(const MergedCase& c, std::ostream* os) { *os << c.name; }

std::string runs_text(const Runs& runs) {
  std::string text;
  for (const auto& [first, count] : runs)
    text += (text.empty() ? "" : ",") + std::to_string(first) + "+" + std::to_string(count);
  return text;
}

class MergedRequests : public EngineFixture, public ::testing::WithParamInterface<MergedCase> {
protected:
  static constexpr u64 first = 900, count = 1100, disk = 2048;
  const Runs unwritable{{1000, 1}, {1500, 2}};
  const Runs unreadable{{1200, 1}, {1999, 1}};

  void SetUp() override {
    const MergedCase& c = GetParam();
    const std::string once = c.once ? " once" : "";
    if (c.device == Merging::Simulated) {
      simulated = std::make_unique<TestMachine>(
          "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(disk * c.sectorSize) +
          ", \"sector size\": " + std::to_string(c.sectorSize) +
          ", \"merged requests\": true, \"unwritable" + once + "\": " + list_text(unwritable) +
          ", \"unreadable" + once + "\": " + list_text(unreadable) + " }]");
      image = simulated->image("disk0.img");
      path = "\\\\.\\PhysicalDrive0";
      return;
    }
    FaultyDisk::Faults faults;
    faults.sector = static_cast<unsigned>(c.sectorSize);
    (c.once ? faults.onceWrite : faults.badWrite) = runs_text(unwritable);
    (c.once ? faults.onceRead : faults.badRead) = runs_text(unreadable);
    faulty = std::make_unique<FaultyDisk>(disk * c.sectorSize, faults);
    if (!faulty->why_not().empty())
      GTEST_SKIP() << faulty->why_not();
    loop = std::make_unique<LoopDevice>(faulty->file(), static_cast<unsigned>(c.sectorSize));
    if (!loop->why_not().empty())
      GTEST_SKIP() << loop->why_not();
    // Requests no larger than one of the file system's, so that each fails or works whole.
    std::ofstream("/sys/block/" + loop->name() + "/queue/max_sectors_kb") << 512;
    noMachine = std::make_unique<ScopedEnvironment>("CVW_MACHINE", std::nullopt);
    queue = std::make_unique<ScopedEnvironment>("CVW_TRANSFER_QUEUE", std::string(c.queue));
    loops = std::make_unique<ScopedEnvironment>("CVW_LOOP_DEVICES", loop->name());
    const std::vector<std::string> names = platform::linux_drive_names();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(loop->name(), names.back()) << "the last drive must be this test's loop device";
    path = "\\\\.\\PhysicalDrive" + std::to_string(names.size() - 1);
    image = faulty->image();
  }

  std::unique_ptr<TestMachine> simulated;
  std::unique_ptr<FaultyDisk> faulty; // before the loop device over it, which goes first
  std::unique_ptr<LoopDevice> loop;
  std::unique_ptr<ScopedEnvironment> noMachine, queue, loops;
  std::string image; // what the device's sectors are kept in
  std::string path;  // the device's drive path
};

TEST_P(MergedRequests, CostOnlyTheFailingSectors) {
  const MergedCase& c = GetParam();
  std::string before;
  if (c.device == Merging::Simulated) {
    before = make_image(image, disk, c.sectorSize);
  } else {
    // Into the file that the file system has open.
    before = make_image(dir.file("before.img"), disk, c.sectorSize);
    std::fstream(image, std::ios::in | std::ios::out | std::ios::binary)
        .write(before.data(), static_cast<std::streamsize>(before.size()));
  }
  config::Value command = wipe_command(raw_device("drive", path, c.sectorSize), first, count,
                                       static_cast<long long>(c.perTime));
  command.set("mode", c.reverse ? "reverse" : "forward");
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  ASSERT_TRUE(exchange.ready);
  EXPECT_EQ(255, finish());
  Reports reports = reports_of(exchange.replies);
  const std::set<u64> badForWrites = sectors_of(unwritable);
  const std::set<u64> badForReads = sectors_of(unreadable);
  for (const auto& [lba, sectors] : reports.writeFailed) {
    EXPECT_EQ(1u, sectors) << "write failed at " << lba;
    EXPECT_EQ(1u, badForWrites.count(lba)) << "good sector " << lba << " reported write failed";
  }
  for (const auto& [lba, sectors] : reports.readFailed) {
    EXPECT_EQ(1u, sectors) << "read failed at " << lba;
    EXPECT_EQ(1u, badForReads.count(lba)) << "good sector " << lba << " reported read failed";
  }
  const std::set<u64> notWritten = sectors_of(reports.writeFailed);
  // What was not written fails the comparison, and nothing else does.
  EXPECT_EQ(notWritten, sectors_of(reports.compareFailed));
  if (!c.once) {
    EXPECT_EQ(badForWrites, notWritten);
    EXPECT_EQ(badForReads, sectors_of(reports.readFailed));
  }
  const std::string after = file_text(image);
  ASSERT_EQ(before.size(), after.size());
  const std::string pattern = pattern_sector("CVW", c.sectorSize);
  for (u64 s = 0; s < disk; ++s) {
    const bool wiped = s >= first && s < first + count && notWritten.count(s) == 0;
    const std::string expected = wiped ? pattern : before.substr(s * c.sectorSize, c.sectorSize);
    EXPECT_TRUE(expected == after.substr(s * c.sectorSize, c.sectorSize))
        << "sector " << s << (wiped ? " is not wiped" : " is changed");
  }
}

constexpr Merging simulated = Merging::Simulated;
constexpr Merging fuse = Merging::FaultyLoop;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, MergedRequests,
    ::testing::Values(
        MergedCase{"Forward1",                  simulated, "", false, 1,   512,  false},
        MergedCase{"Forward7",                  simulated, "", false, 7,   512,  false},
        MergedCase{"Forward256",                simulated, "", false, 256, 512,  false},
        MergedCase{"Reverse1",                  simulated, "", true,  1,   512,  false},
        MergedCase{"Reverse7",                  simulated, "", true,  7,   512,  false},
        MergedCase{"Reverse256",                simulated, "", true,  256, 512,  false},
        MergedCase{"Forward1Once",              simulated, "", false, 1,   512,  true},
        MergedCase{"Forward7Once",              simulated, "", false, 7,   512,  true},
        MergedCase{"Reverse1Once",              simulated, "", true,  1,   512,  true},
        MergedCase{"Reverse256Once",            simulated, "", true,  256, 512,  true},
        MergedCase{"Forward1Of4096",            simulated, "", false, 1,   4096, false},
        MergedCase{"Reverse7Of4096",            simulated, "", true,  7,   4096, false},
        MergedCase{"Forward256Of4096Once",      simulated, "", false, 256, 4096, true},
        MergedCase{"Reverse256Of4096",          simulated, "", true,  256, 4096, false},
        MergedCase{"LoopForward1",              fuse, "io_uring", false, 1,   512,  false},
        MergedCase{"LoopForward7",              fuse, "io_uring", false, 7,   512,  false},
        MergedCase{"LoopForward256",            fuse, "io_uring", false, 256, 512,  false},
        MergedCase{"LoopReverse1",              fuse, "io_uring", true,  1,   512,  false},
        MergedCase{"LoopReverse256",            fuse, "io_uring", true,  256, 512,  false},
        MergedCase{"LoopForward1Once",          fuse, "io_uring", false, 1,   512,  true},
        MergedCase{"LoopReverse7Once",          fuse, "io_uring", true,  7,   512,  true},
        MergedCase{"LoopForward1Of4096",        fuse, "io_uring", false, 1,   4096, false},
        MergedCase{"LoopReverse1Of4096Once",    fuse, "io_uring", true,  1,   4096, true},
        MergedCase{"LoopForward256Of4096",      fuse, "io_uring", false, 256, 4096, false},
        MergedCase{"ThreadsLoopForward1",       fuse, "threads",  false, 1,   512,  false},
        MergedCase{"ThreadsLoopForward7Of4096Once", fuse, "threads", false, 7, 4096, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Over failing sectors, the random methods write with transfers in flight what they write one
// transfer at a time, byte for byte: chunks drawn ahead and given up after a failure go back to
// the generator's stream. Two engines that start within the same second draw the same stream;
// each wipes its own of two alike drives, one transfer at a time or with transfers in flight.
TEST_F(EngineFixture, RandomMethodsInFlightWriteWhatOneAtATimeWrites) {
  const std::string drive =
      "\"size\": " + std::to_string(diskSectors * sectorSize) +
      ", \"merged requests\": true, \"unwritable\": [[130,1],[171,2]], \"unreadable\": [[190,1]]";
  TestMachine machine("\"drives\": [{ \"number\": 0, " + drive + " }, { \"number\": 1, " + drive +
                      " }]");
  for (const char* mode : {"dod_d", "navso_p_5239_26", "gutmann"}) {
    SCOPED_TRACE(mode);
    std::string images[2];
    for (int d = 0; d < 2; ++d)
      images[d] =
          make_image(machine.image("disk" + std::to_string(d) + ".img"), diskSectors, sectorSize);
    std::unique_ptr<EngineClient> engines[2];
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::time_t from = std::time(nullptr);
      for (int d = 0; d < 2; ++d) {
        ScopedEnvironment transfers("CVW_TRANSFERS_IN_FLIGHT", std::string(d == 0 ? "1" : "32"));
        engines[d] = std::make_unique<EngineClient>(
            CVWDRV_PATH, std::vector<std::string>{"command=interactive", "dbg=null"},
            dir.file("stderr.txt"));
        std::string line;
        ASSERT_TRUE(engines[d]->receive(line));
        ASSERT_EQ("\"status\":\"ready\"", line);
      }
      if (std::time(nullptr) == from)
        break; // both seeded alike
    }
    std::vector<std::string> replies[2];
    for (int d = 0; d < 2; ++d) {
      config::Value command = wipe_command(
          raw_device("drive", "\\\\.\\PhysicalDrive" + std::to_string(d), sectorSize), 120, 100, 7);
      command.set("mode", mode);
      command.set("verify", true);
      const Exchange exchange = converse(*engines[d], line_of(command));
      ASSERT_TRUE(exchange.ready);
      engines[d]->close_input();
      EXPECT_EQ(255, engines[d]->wait());
      replies[d] = without_run_time(exchange.replies);
      images[d] = file_text(machine.image("disk" + std::to_string(d) + ".img"));
    }
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ("", first_difference(images[1], images[0], sectorSize));
  }
}

// The read-back of a random pass with verification: sectors that cannot be read are reported
// (consecutive ones together), every other sector of the chunk is compared, and none differs.
TEST_F(EngineFixture, RandomReadBackReportsOnlyTheUnreadableSectors) {
  TestMachine machine(
      "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(diskSectors * sectorSize) +
      ", \"unreadable\": [[100,1],[106,3],[131,1]] }]");
  make_image(machine.image("disk0.img"), diskSectors, sectorSize);
  // Its third pass writes random data and reads each chunk back.
  config::Value command = wipe_command(raw_device("drive", "\\\\.\\PhysicalDrive0", sectorSize),
                                       rangeFirst, rangeCount, perTime);
  command.set("mode", "dod_e");
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  ASSERT_TRUE(exchange.ready);
  EXPECT_EQ(255, finish());
  const Reports reports = reports_of(exchange.replies);
  EXPECT_EQ((Runs{{100, 1}, {106, 2}, {108, 1}, {131, 1}}), reports.readFailed);
  EXPECT_TRUE(reports.compareFailed.empty());
  EXPECT_TRUE(reports.writeFailed.empty());
}

} // namespace
