// Wipes over failing sectors, end to end: the engine wipes and verifies a range of a simulated
// disk whose bad sectors fail a whole transfer, as a device does, without saying which sector
// failed. Every report and every byte of the disk afterwards is checked against the bad sectors:
// each report starts (forward) or ends (reverse) at a failing sector, every sector that no report
// skipped holds the method's data, and the verify pass compares every sector it can read.
#include "EngineFixture.h"
#include "TestMachine.h"

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

class FailingSectors : public EngineFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(FailingSectors, AreReportedExactlyAndEveryOtherSectorIsWipedAndVerified) {
  const Case& c = GetParam();
  TestMachine machine(
      "\"drives\": [{ \"number\": 0, \"size\": " + std::to_string(diskSectors * sectorSize) +
      ", \"unwritable\": " + list_text(c.unwritable) +
      ", \"unreadable\": " + list_text(c.unreadable) + " }]");
  const std::string image = machine.image("disk0.img");
  const std::string before = make_image(image, diskSectors, sectorSize);
  config::Value command = wipe_command(raw_device("drive", "\\\\.\\PhysicalDrive0", sectorSize),
                                       rangeFirst, rangeCount, perTime);
  command.set("mode", c.reverse ? "reverse" : "forward");
  command.set("verify", true);
  command.set("jumpAfterErrorSectors", c.jump);
  command.set("jumpAfterErrorDouble", c.doubling);
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
