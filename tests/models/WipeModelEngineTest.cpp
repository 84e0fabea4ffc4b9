// The wipe task model with the real engine on a simulated machine: each wipe method from arm to
// done and its acknowledgement, the disk checked sector by sector afterwards, the task log and
// the wipe history; sectors that cannot be written, with the errors ignored or answered by the
// operator; a stop before the engine is ready; and a drive path that leads to another disk by
// the time the wipe is armed or started.
#include "Bytes.h"
#include "DriveIdentity.h"
#include "FixedClockText.h"
#include "Format.h"
#include "LogCapture.h"
#include "LoopDevice.h"
#include "MainLog.h"
#include "MainLoop.h"
#include "SingletonGuard.h"
#include "TestMachine.h"
#include "Win32.h"
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

// How the test's drive record is made: by hand, with model, serial and sizes, as a drive list
// without identities has it; or read from the machine, as the drive list has it.
enum class DriveRecord { ByHand, AsListed };

// A simulated machine with one disk of 80 sectors (`extra` adds members to it), a model of the
// wipe task for it on the real engine with the range 5-68, and its view recording.
class EngineWipe {
public:
  explicit EngineWipe(const std::string& extra = "", DriveRecord record = DriveRecord::ByHand)
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
    if (record == DriveRecord::AsListed) {
      EXPECT_TRUE(read_drive_identity(drive.id(), drive));
      EXPECT_FALSE(drive.identity().empty());
    }
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

// A twin: a disk of the same model, serial and size (another image) at the drive's number. The
// model's own check, when it arms and before the command goes, finds it by the disk's identity;
// one put there after that check, before the engine opens the path, the engine finds, as it
// checks the identity that the command carries. Neither disk is written, nothing is recorded.
TEST(WipeModelEngine, ATwinBehindThePathIsNeverWiped) {
  const std::string size = std::to_string(diskSectors * sectorSize);
  const std::string twin = R"("drives": [{"product": "SIMDISK", "serial": "SIM0", "size": )" +
                           size + R"(, "number": 0, "image": "twin-of-disk0.img"}])";
  const std::string taken = "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened "
                            "for: another disk of the same model, serial and size (SIMDISK / "
                            "SIM0, 80 sectors of 512 bytes) has taken its place.";
  const std::string found = "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened "
                            "for: another disk has taken its place, and nothing was written";
  enum class When { BeforeArm, BetweenArmAndStart, BetweenCheckAndOpen };
  const struct {
    const char* name;
    When when;
    std::string status; // the last status line
  } cases[] = {
      {"before arm", When::BeforeArm, ""},
      {"between arm and start", When::BetweenArmAndStart, "ERROR - " + taken},
      {"between the model's check and the engine's open", When::BetweenCheckAndOpen,
       "ERROR - " + found},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineWipe wipe("", DriveRecord::AsListed);
    const std::string twinDisk(diskSectors * sectorSize, '\x5a');
    std::ofstream(wipe.machine.image("twin-of-disk0.img"), std::ios::binary) << twinDisk;
    const std::string original = file_bytes(wipe.machine.path());
    const auto put_twin = [&] {
      std::ofstream(wipe.machine.path(), std::ios::binary | std::ios::trunc) << twin;
    };
    if (c.when == When::BeforeArm)
      put_twin();
    wipe.model->arm();
    if (c.when == When::BeforeArm) {
      EXPECT_EQ(wipe.view.events, std::vector<std::string>{"refused " + taken});
      EXPECT_EQ(wipe.model->state(), WipeModel::State::Idle);
    } else {
      ASSERT_EQ(wipe.model->state(), WipeModel::State::Waiting);
      if (c.when == When::BetweenArmAndStart)
        put_twin();
      wipe.model->start();
      // The engine reads the command only once it is ready, which the loop below lets the
      // model hear: the twin is there before the engine opens the path.
      if (c.when == When::BetweenCheckAndOpen) {
        EXPECT_EQ(wipe.model->state(), WipeModel::State::Wiping);
        put_twin();
      }
      EXPECT_TRUE(
          run_loop([&] { return wipe.model->state() == WipeModel::State::Waiting; }, wait_limit_us))
          << wipe.log.text();
      EXPECT_EQ(wipe.status(), c.status);
    }
    // Time enough for an engine that had the command to write.
    run_loop([] { return false; }, 300 * 1000);
    EXPECT_EQ(sector_difference(wipe.disk(), wipe.original), "");
    EXPECT_TRUE(file_bytes(wipe.machine.image("twin-of-disk0.img")) == twinDisk);
    EXPECT_TRUE(MainLog::instance().entries().empty()) << "no wipe is recorded";

    // The disk itself back at its path: the wipe runs.
    wipe.model->stop();
    std::ofstream(wipe.machine.path(), std::ios::binary | std::ios::trunc) << original;
    EXPECT_EQ(wipe.wipe_to_done(), 0);
    EXPECT_NE(wipe.disk(), wipe.original);
  }
}

// The drive path that this machine's system calls `node` ("/dev/loop3"); empty when none does.
std::string drive_of(const std::string& node) {
  for (int number = 0; number < 32; ++number) {
    const std::string name = "PhysicalDrive" + std::to_string(number);
    char names[MAX_PATH];
    if (QueryDosDeviceA(name.c_str(), names, sizeof names) != 0 && node == names)
      return "\\\\.\\" + name;
  }
  return std::string();
}

// Loop devices are twins by nature: no model, no serial, and images of one size. A task armed
// for one, whose number another then takes (the image attached anew at its node, or another
// loop device moving down when the first goes), wipes neither: the model's check finds the other
// disk when it starts, the engine's check when it comes after the model's. On this machine's own
// loop devices, as root.
TEST(WipeModelLoop, ALoopDeviceThatTakesTheNumberIsNeverWiped) {
  constexpr std::uint64_t bytes = 4 * 1048576;
  enum class Takeover { SameNodeAtStart, SameNodeAfterTheCheck, NextDeviceAtStart };
  const struct {
    const char* name;
    Takeover how;
    const char* status; // the start of the last status line
  } cases[] = {
      {"the other image at the same node, before start", Takeover::SameNodeAtStart,
       "ERROR - %1 is no longer the drive this task was opened for: another disk of the same "
       "model, serial and size"},
      {"the other image at the same node, after the model's check", Takeover::SameNodeAfterTheCheck,
       "ERROR - %1 is no longer the drive this task was opened for: another disk has taken its "
       "place, and nothing was written"},
      {"the next loop device moves down, before start", Takeover::NextDeviceAtStart,
       "ERROR - %1 is no longer the drive this task was opened for: another disk of the same "
       "model, serial and size"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SingletonGuard singletons;
    LogCapture log;
    TempDir images;
    const std::string first(bytes, '\x11'), second(bytes, '\x22');
    std::ofstream(images.file("first.img"), std::ios::binary) << first;
    std::ofstream(images.file("second.img"), std::ios::binary) << second;
    auto ours = std::make_unique<LoopDevice>(images.file("first.img"), 512);
    if (!ours->why_not().empty())
      GTEST_SKIP() << ours->why_not();
    std::unique_ptr<LoopDevice> next;
    ScopedEnvironment noMachine("CVW_MACHINE", std::nullopt);
    std::string asked = ours->name();
    if (c.how == Takeover::NextDeviceAtStart) {
      next = std::make_unique<LoopDevice>(images.file("second.img"), 512);
      ASSERT_EQ(next->why_not(), "");
      asked += "," + next->name();
    }
    ScopedEnvironment loops("CVW_LOOP_DEVICES", asked);
    std::string path = drive_of(ours->node());
    if (next != nullptr && drive_of(next->node()) < path) {
      std::swap(ours, next); // the task is on the lower number, which the other then takes
      path = drive_of(ours->node());
    }
    ASSERT_NE(path, "");

    Drive drive;
    ASSERT_TRUE(read_drive_identity(path, drive));
    ASSERT_FALSE(drive.identity().empty());
    config::Value configuration;
    configuration.set("Driver", CVWDRV_PATH);
    configuration["wipe"]["command"] = config::Value(config::Value::Object);
    WipeModelFactoryImpl factory(configuration);
    std::unique_ptr<WipeModel> model(factory.create(drive));
    WipeModelRecorder view;
    model->set_view(&view);
    model->set_lba(0);
    model->set_sectors(drive.sectors());
    model->options().set_pattern("X");
    model->arm();
    ASSERT_EQ(model->state(), WipeModel::State::Waiting) << log.text();

    const auto take_over = [&] {
      std::string output;
      if (c.how == Takeover::NextDeviceAtStart) {
        ours.reset(); // detached: the next loop device has its number now
        EXPECT_EQ(drive_of(next->node()), path);
        return true;
      }
      return ours->reattach(images.file("second.img"), 512, output);
    };
    if (c.how != Takeover::SameNodeAfterTheCheck && !take_over())
      GTEST_SKIP() << ours->why_not();
    model->start();
    if (c.how == Takeover::SameNodeAfterTheCheck) {
      // The engine takes the command only once it is ready, which the loop below lets the model
      // hear: the other image is at the node before the engine opens it.
      EXPECT_EQ(model->state(), WipeModel::State::Wiping);
      if (!take_over()) {
        model->stop();
        GTEST_SKIP() << ours->why_not();
      }
    }
    EXPECT_TRUE(
        run_loop([&] { return model->state() == WipeModel::State::Waiting; }, wait_limit_us))
        << log.text();
    std::string last;
    for (const std::string& event : view.events)
      if (event.rfind("status ", 0) == 0)
        last = event.substr(7);
    const std::string expected = format(c.status, path);
    EXPECT_EQ(last.substr(0, expected.size()), expected) << last;
    model->stop();
    // Time enough for an engine that had the command to write.
    run_loop([] { return false; }, 300 * 1000);
    EXPECT_TRUE(file_bytes(images.file("first.img")) == first) << "the first image was written";
    EXPECT_TRUE(file_bytes(images.file("second.img")) == second) << "the second image was written";
    EXPECT_TRUE(MainLog::instance().entries().empty());
  }
}

} // namespace
