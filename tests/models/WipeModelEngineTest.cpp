// The wipe task model with the real engine on a simulated machine: each wipe method from arm to
// done and its acknowledgement, the disk checked sector by sector afterwards, the task log and
// the wipe history; sectors that cannot be written, with the errors ignored or answered by the
// operator; a stop before the engine is ready; and a drive path that leads to another disk by
// the time the wipe is armed or started.
#include "Bytes.h"
#include "FixedClockText.h"
#include "LogCapture.h"
#include "MainLog.h"
#include "MainLoop.h"
#include "SingletonGuard.h"
#include "TestMachine.h"
#include "WipeMethod.h"
#include "WipeModel.h"
#include "WipeModelRecorder.h"
#include "random/Random.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

namespace {

constexpr gint64 wait_limit_us = 60 * G_USEC_PER_SEC;
constexpr std::uint64_t sectorSize = 512;
constexpr std::uint64_t diskSectors = 80;
constexpr std::uint64_t first = 5;
constexpr std::uint64_t count = 64;
constexpr std::uint64_t rangeBytes = count * sectorSize;

std::string file_bytes(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

// A disk whose every byte depends on its offset, so that a sector written in the wrong place,
// or left out, shows.
std::string write_disk(const std::string& path) {
  std::string bytes(diskSectors * sectorSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i / sectorSize) * 29 + i % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  return bytes;
}

std::string pattern_sector(const std::string& pattern) {
  std::string sector(sectorSize, '\0');
  for (std::uint64_t i = 0; i < sectorSize; ++i)
    sector[i] = pattern[i % pattern.size()];
  return sector;
}

// The first sector at which two disks differ, or an empty text.
std::string sector_difference(const std::string& actual, const std::string& expected) {
  const std::string difference = first_difference(actual, expected);
  if (difference.empty())
    return difference;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    ++at;
  return "sector " + std::to_string(at / sectorSize) + ": " + difference;
}

// A simulated machine with one disk of 80 sectors (`extra` adds members to it), a model of the
// wipe task for it on the real engine with the range 5-68, and its view recording.
class EngineWipe {
public:
  explicit EngineWipe(const std::string& extra = "")
      : machine(
            R"("drives": [ { "number": 0, "size": )" + std::to_string(diskSectors * sectorSize) +
            R"(, "image": "disk0.img", "product": "SIMDISK", "serial": "SIM0")" + extra + " } ]"),
        original(write_disk(machine.image("disk0.img"))), factory(configuration) {
    use_fixed_zone_and_locale();
    configuration.set("Driver", CVWDRV_PATH);
    configuration["wipe"]["command"] = config::Value(config::Value::Object);
    Drive drive;
    drive.set_id("\\\\.\\PhysicalDrive0");
    drive.set_sectors(diskSectors);
    drive.set_sector_size(sectorSize);
    drive.set_model("SIMDISK");
    drive.set_serial("SIM0");
    model.reset(factory.create(drive));
    model->set_view(&view);
    model->set_lba(first);
    model->set_sectors(count);
    WipeOptions& options = model->options();
    options.set_sectors_per_time(8);
    options.set_update_period(1);
    options.set_pattern("AB");
  }

  std::string disk() const { return file_bytes(machine.image("disk0.img")); }

  // Arms and starts; answers each wait for the operator with start, until the wipe is done.
  // Returns how often the model waited.
  int wipe_to_done() {
    model->arm();
    EXPECT_EQ(model->state(), WipeModel::State::Waiting);
    model->start();
    int waits = 0;
    while (model->state() != WipeModel::State::Done) {
      if (!run_loop(
              [&] {
                return model->state() == WipeModel::State::Done ||
                       model->state() == WipeModel::State::Waiting;
              },
              wait_limit_us)) {
        ADD_FAILURE() << "no end of the wipe\n" << log.text();
        break;
      }
      if (model->state() == WipeModel::State::Waiting) {
        ++waits;
        model->start();
      }
    }
    return waits;
  }

  // The status line last shown.
  std::string status() const {
    for (auto e = view.events.rbegin(); e != view.events.rend(); ++e)
      if (e->rfind("status ", 0) == 0)
        return e->substr(7);
    return "";
  }

  SingletonGuard singletons; // the history starts empty
  TestMachine machine;
  std::string original;
  LogCapture log;
  config::Value configuration;
  WipeModelFactoryImpl factory;
  WipeModelRecorder view;
  std::unique_ptr<WipeModel> model;
};

struct MethodCase {
  const char* name;
  int method;
  // What the last pass leaves in every sector of the range; empty: random data, the stream's
  // part after `randomBefore` earlier random passes over the range.
  std::string last;
  int randomBefore;
};

void PrintTo(const MethodCase& c, std::ostream* out) { *out << c.name; }

class MethodThroughTheModel : public ::testing::TestWithParam<MethodCase> {};

TEST_P(MethodThroughTheModel, WipesTheRangeOnly) {
  const MethodCase& c = GetParam();
  EngineWipe wipe;
  wipe.model->options().set_mode(c.method);
  wipe.model->options().set_verify(true);
  const std::time_t from = std::time(nullptr);
  EXPECT_EQ(wipe.wipe_to_done(), 0);
  const std::time_t by = std::time(nullptr);
  const std::string disk = wipe.disk();

  // The disk: the range holds the last pass's bytes, everything else is as it was. Random
  // data comes from the engine's generator, seeded with its start time in seconds.
  std::string mismatch;
  for (std::time_t t = from; t <= by; ++t) {
    std::string range;
    if (!c.last.empty()) {
      for (std::uint64_t i = 0; i < count; ++i)
        range += pattern_sector(c.last);
    } else {
      RandomState stream = initial_random_state;
      stream.x ^= static_cast<std::uint32_t>(t);
      std::string skipped(rangeBytes * c.randomBefore, '\0');
      fill_random_from(stream, skipped.data(), skipped.size());
      range.assign(rangeBytes, '\0');
      fill_random_from(stream, range.data(), range.size());
    }
    std::string expected = wipe.original;
    expected.replace(first * sectorSize, rangeBytes, range);
    mismatch = sector_difference(disk, expected);
    if (mismatch.empty() || !c.last.empty())
      break;
  }
  EXPECT_EQ(mismatch, "");

  // Every stage reported the whole range once, and nothing outside it; downwards for the
  // method that wipes from the end.
  std::vector<int> reported(count, 0);
  for (const auto& [lba, sectors] : wipe.view.areas) {
    ASSERT_GE(lba, first);
    ASSERT_LE(lba + sectors, first + count);
    for (std::uint64_t s = lba; s < lba + sectors; ++s)
      ++reported[s - first];
  }
  EXPECT_GE(reported[0], 1);
  EXPECT_EQ(std::count(reported.begin(), reported.end(), reported[0]), static_cast<long>(count));
  if (c.method == 1) {
    EXPECT_EQ(wipe.view.areas.front().first + wipe.view.areas.front().second, first + count);
    EXPECT_EQ(wipe.view.areas.back().first, first);
  }

  const std::string done = wipe.status();
  EXPECT_TRUE(std::regex_match(
      done,
      std::regex(
          R"(DONE - 32\.77KB \| [0-9]+\.[0-9]{2} seconds( \| [0-9]+\.[0-9]{2}MB/s)? \| 0 errors \(Certificate\))")))
      << done;
  const std::vector<std::string> entries = task_log_entries(wipe.model->log().text());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_NE(entries[1].find("\nWIPE METHOD: " + std::string(c.name) + "\n"), std::string::npos)
      << entries[1];
  EXPECT_EQ(entries[2], done);
  EXPECT_TRUE(wipe.model->log().record().finished());
  ASSERT_EQ(MainLog::instance().entries().size(), 1u);
  const MainLog::Entry& entry = MainLog::instance().entries()[0];
  EXPECT_EQ(entry.wipe_method(), c.name);
  EXPECT_EQ(entry.model(), "SIMDISK");
  EXPECT_EQ(entry.serial(), "SIM0");
  EXPECT_EQ(entry.wipe_lba(), first);
  EXPECT_EQ(entry.wipe_sectors(), count);
  EXPECT_EQ(entry.errors(), 0u);

  // The operator's start answers the engine, which is ready again: the model is idle.
  wipe.model->start();
  EXPECT_TRUE(
      run_loop([&] { return wipe.model->state() == WipeModel::State::Idle; }, wait_limit_us));
  EXPECT_EQ(wipe.log.text().find("WipeModelImpl.cpp("), std::string::npos) << wipe.log.text();
}

const std::string A = "A";
const std::string notA = "\xBE";

INSTANTIATE_TEST_SUITE_P(
    Engine, MethodThroughTheModel,
    ::testing::Values(MethodCase{"Forward", 0, "AB", 0}, MethodCase{"Reverse", 1, "AB", 0},
                      MethodCase{"DoD 5220.22-M (C)", 2, A, 0},
                      MethodCase{"DoD 5220.22-M (D)", 3, "", 0},
                      MethodCase{"DoD 5220.22-M (E)", 4, "", 0},
                      MethodCase{"DoD 5220.22-M (H)", 5, "\xFF", 0},
                      MethodCase{"AR 380-19", 6, notA, 0}, MethodCase{"AFSSI 5020", 7, A, 0},
                      MethodCase{"NAVSO P 5239-26", 8, "", 0}, MethodCase{"NCSC TG-025", 9, "", 0},
                      // Four random passes first, four last.
                      MethodCase{"Gutmann", 10, "", 7}),
    [](const auto& info) { return std::string(wipe_method_key(info.param.method)); });

// Two sectors that cannot be written: with the write errors ignored the wipe runs to its end by
// itself; without, it waits for the operator at each error, and the operator's start gives the
// same wipe. Either way the errors are counted, logged and kept in the history, and the wipe
// earns no certificate.
TEST(WipeModelEngine, UnwritableSectors) {
  std::string disks[2];
  int errors[2] = {0, 0};
  for (bool ignore : {true, false}) {
    SCOPED_TRACE(ignore ? "ignored" : "answered by the operator");
    EngineWipe wipe(R"(, "unwritable": [[20, 2]])");
    wipe.model->options().set_ignore_write_errors(ignore);
    const int waits = wipe.wipe_to_done();
    const std::uint32_t counted = MainLog::instance().entries().at(0).errors();
    EXPECT_GE(counted, 1u);
    EXPECT_EQ(waits, ignore ? 0 : static_cast<int>(counted));
    EXPECT_FALSE(wipe.model->log().record().finished());
    const std::string done = wipe.status();
    EXPECT_NE(done.find("| " + std::to_string(counted) + " errors"), std::string::npos) << done;
    EXPECT_EQ(done.find("Certificate"), std::string::npos) << done;

    // Each failed stretch is logged and skipped: it keeps what it held, the rest of the range
    // holds the pattern, everything outside it is as it was.
    const std::string disk = wipe.disk();
    std::string expected = wipe.original;
    std::vector<bool> failed(diskSectors, false);
    int logged = 0;
    const std::regex failure(R"(ERROR - Write failed \(LBA: ([0-9]+), sectors: ([0-9]+)\))");
    for (const std::string& entry : task_log_entries(wipe.model->log().text())) {
      std::smatch match;
      if (!std::regex_match(entry, match, failure))
        continue;
      ++logged;
      const std::uint64_t lba = std::stoull(match[1]), sectors = std::stoull(match[2]);
      for (std::uint64_t s = lba; s < lba + sectors && s < diskSectors; ++s)
        failed[s] = true;
    }
    EXPECT_EQ(logged, static_cast<int>(counted));
    // The engine skips what it reports failed; the two sectors are among it.
    EXPECT_TRUE(failed[20] && failed[21]);
    for (std::uint64_t s = first; s < first + count; ++s)
      if (!failed[s])
        expected.replace(s * sectorSize, sectorSize, pattern_sector("AB"));
    EXPECT_EQ(sector_difference(disk, expected), "");
    disks[ignore ? 0 : 1] = disk;
    errors[ignore ? 0 : 1] = static_cast<int>(counted);
  }
  EXPECT_EQ(errors[0], errors[1]);
  EXPECT_EQ(sector_difference(disks[1], disks[0]), "");
}

// A stop while the engine is still starting: the model is idle at once, the engine never gets
// the wipe, and the disk stays as it was; a wipe started afterwards runs normally.
TEST(WipeModelEngine, StopBeforeTheEngineIsReady) {
  EngineWipe wipe;
  wipe.model->arm();
  wipe.model->start();
  EXPECT_EQ(wipe.model->state(), WipeModel::State::Wiping);
  wipe.model->stop();
  EXPECT_EQ(wipe.model->state(), WipeModel::State::Idle);
  // Time enough for an engine that had got the command to write.
  run_loop([] { return false; }, 300 * 1000);
  EXPECT_EQ(sector_difference(wipe.disk(), wipe.original), "");
  EXPECT_EQ(wipe.model->state(), WipeModel::State::Idle);
  const std::vector<std::string> heads = task_log_heads(wipe.model->log().text());
  EXPECT_EQ(heads.back(), "STOP");

  EXPECT_EQ(wipe.wipe_to_done(), 0);
  EXPECT_NE(wipe.disk(), wipe.original);
}

// The model reads its drive's identity afresh when it arms and again right before the wipe
// command goes. When drive number 0 has become another disk meanwhile (or is gone), it refuses
// with the reason, and neither disk is written.
TEST(WipeModelEngine, AnotherDiskBehindThePathIsNeverWiped) {
  const std::string size = std::to_string(diskSectors * sectorSize);
  const std::string ours = R"({"product": "SIMDISK", "serial": "SIM0", "size": )" + size;
  const std::string other = R"({"product": "OTHER", "serial": "X9", "size": )" + size;
  const std::string swapped = R"("drives": [)" + other + R"(, "number": 0, "image": "disk1.img"},
                                            )" +
                              ours + R"(, "number": 1, "image": "disk0.img"}])";
  const std::string resized = R"("drives": [{"product": "SIMDISK", "serial": "SIM0", "size": )" +
                              std::to_string((diskSectors - 8) * sectorSize) +
                              R"(, "number": 0, "image": "disk0.img"}])";
  const std::string gone = R"("drives": [)" + ours + R"(, "number": 1, "image": "disk0.img"}])";
  const std::string was = "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened for: "
                          "it was SIMDISK / SIM0, 80 sectors of 512 bytes, it is now ";
  const struct {
    const char* name;
    std::string machine;
    bool atStart; // changed between arm and start; else before arm
    std::string reason;
  } cases[] = {
      {"another disk before arm", swapped, false, was + "OTHER / X9, 80 sectors of 512 bytes."},
      {"another disk between arm and start", swapped, true,
       was + "OTHER / X9, 80 sectors of 512 bytes."},
      {"the same names, another size", resized, true,
       was + "SIMDISK / SIM0, 72 sectors of 512 bytes."},
      {"no disk at the path", gone, false,
       "\\\\.\\PhysicalDrive0 cannot be read now: it cannot be confirmed that it is still the "
       "drive this task was opened for (SIMDISK / SIM0, 80 sectors of 512 bytes)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineWipe wipe;
    const std::string otherDisk(diskSectors * sectorSize, '\x5a');
    std::ofstream(wipe.machine.image("disk1.img"), std::ios::binary) << otherDisk;
    const std::string original = file_bytes(wipe.machine.path());
    if (c.atStart) {
      wipe.model->arm();
      ASSERT_EQ(wipe.model->state(), WipeModel::State::Waiting);
    }
    std::ofstream(wipe.machine.path(), std::ios::binary | std::ios::trunc) << c.machine;
    wipe.view.events.clear();
    if (c.atStart) {
      wipe.model->start();
      EXPECT_EQ(wipe.view.events, (std::vector<std::string>{"state 5", "status ERROR - " + c.reason,
                                                            "refused " + c.reason}));
      EXPECT_EQ(wipe.model->state(), WipeModel::State::Waiting);
      // CONTINUE: no engine waits for an answer; the model is idle again.
      wipe.model->start();
      EXPECT_EQ(wipe.model->state(), WipeModel::State::Idle);
    } else {
      wipe.model->arm();
      EXPECT_EQ(wipe.view.events, std::vector<std::string>{"refused " + c.reason});
      EXPECT_EQ(wipe.model->state(), WipeModel::State::Idle);
    }
    EXPECT_EQ(task_log_heads(wipe.model->log().text()).back(), "ERROR - " + c.reason);
    // Time enough for an engine that had got a command to write.
    run_loop([] { return false; }, 300 * 1000);
    EXPECT_EQ(sector_difference(wipe.disk(), wipe.original), "");
    EXPECT_TRUE(file_bytes(wipe.machine.image("disk1.img")) == otherDisk);

    // The disk back at its path: the wipe is armed and runs.
    std::ofstream(wipe.machine.path(), std::ios::binary | std::ios::trunc) << original;
    EXPECT_EQ(wipe.wipe_to_done(), 0);
    EXPECT_NE(wipe.disk(), wipe.original);
  }
}

} // namespace
