// Wipes of image files through the real engine: the messages in order, and the image's bytes
// afterwards, sector by sector, inside the range and outside it.
#include "EngineFixture.h"
#include "FaultyDisk.h"
#include "LoopDevice.h"

#include "Files.h"

#include <glib.h>

#include <filesystem>

namespace {

const std::string ready = "\"status\":\"ready\"";
const std::string initFailed = "\"message\":\"init failed\",\"status\":\"error\"";

std::string state(const char* name) {
  return std::string("\"set_state\":\"") + name + "\",\"set_state_index\":0,\"status\":\"update\"";
}
const std::string passDone = "\"done\":true,\"status\":\"update\"";
std::string done(std::uint64_t bytes) {
  return "\"run size\":" + std::to_string(bytes) + ",\"run time\":T,\"status\":\"done\"";
}

struct FileWipe {
  const char* name;
  const char* mode;
  bool verify;
  long long lba, sectors, sectorsPerTime, sectorSize;
  std::string pattern;
  std::uint64_t imageSectors; // 0: there is no file before the wipe
};

class FileWipes : public EngineFixture, public ::testing::WithParamInterface<FileWipe> {};

TEST_P(FileWipes, WriteThePatternOverTheRangeOnly) {
  const FileWipe& c = GetParam();
  const std::string image = dir.file("disk.img");
  std::string expected;
  if (c.imageSectors > 0)
    expected = make_image(image, c.imageSectors, c.sectorSize);
  const std::uint64_t end = (c.lba + c.sectors) * c.sectorSize;
  if (c.sectors > 0 && expected.size() < end)
    expected.resize(end, '\0'); // a write past the end extends the file
  const std::string sector = pattern_sector(c.pattern, c.sectorSize);
  for (long long i = 0; i < c.sectors; ++i)
    expected.replace((c.lba + i) * c.sectorSize, c.sectorSize, sector);

  config::Value command =
      wipe_command(file_device(image, c.sectorSize), c.lba, c.sectors, c.sectorsPerTime);
  command.set("mode", c.mode);
  command.set("verify", c.verify);
  command.set("pattern", c.pattern);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));

  std::vector<std::string> messages{state("wiping"), passDone};
  if (c.verify)
    messages.insert(messages.end(), {state("verifying"), passDone});
  messages.insert(messages.end(), {done(c.sectors * c.sectorSize), ready});
  EXPECT_EQ(messages, without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
  EXPECT_EQ("", first_difference(file_text(image), expected, c.sectorSize));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, FileWipes,
    ::testing::Values(FileWipe{"ForwardVerified", "forward", true, 5, 10, 3, 512, "CVW", 20},
                      FileWipe{"Reverse", "reverse", false, 3, 13, 4, 512, "reverse", 20},
                      // Control bytes and line feeds in a pattern travel escaped on one line.
                      FileWipe{"ReverseVerifiedLargeSectors", "reverse", true, 1, 6, 4, 4096,
                               std::string("\0\xff\n\r", 4), 8},
                      FileWipe{"EmptyPatternWritesZeros", "forward", true, 0, 8, 8, 512, "", 8},
                      FileWipe{"ChunkLargerThanTheRange", "forward", false, 2, 3, 256, 512, "x", 8},
                      FileWipe{"NoSectors", "forward", false, 2, 0, 4, 512, "CVW", 8},
                      FileWipe{"PastTheEndGrowsTheFile", "forward", true, 2, 6, 4, 512, "CVW", 4},
                      FileWipe{"MissingFileIsCreated", "reverse", false, 3, 5, 2, 512, "new", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A file served over FUSE (or NFS) may take or give fewer bytes than asked at one call: the wipe
// goes on with the rest, writes and verifies every sector, and reports nothing. The file system
// comes up short at bytes inside chunks of the walk, in the middle of a sector and at its edge
// (a byte at the start of a chunk cuts nothing short).
struct ShortFileWipe {
  const char* name;
  const char* mode;
  long long sectorsPerTime;
  std::size_t shorts; // requests that the bytes cut short
};

void PrintTo(const ShortFileWipe& c, std::ostream* os) { *os << c.name; }

class ShortFileWipes : public EngineFixture, public ::testing::WithParamInterface<ShortFileWipe> {};

TEST_P(ShortFileWipes, WriteAndVerifyEverySector) {
  const ShortFileWipe& c = GetParam();
  constexpr std::uint64_t sectors = 8192;
  FaultyDisk::Faults faults;
  faults.shortWrite = "33000,1048577,2621440,4000000";
  faults.shortRead = "700,1572864,3000001";
  faults.logged = true;
  FaultyDisk faulty(sectors * 512, faults);
  if (!faulty.why_not().empty())
    GTEST_SKIP() << faulty.why_not();
  config::Value command = wipe_command(file_device(faulty.file()), 0, sectors, c.sectorsPerTime);
  command.set("mode", c.mode);
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, state("verifying"), passDone,
                                      done(sectors * 512), ready}),
            without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
  std::string expected;
  for (std::uint64_t i = 0; i < sectors; ++i)
    expected += pattern_sector("CVW", 512);
  EXPECT_EQ("", first_difference(file_text(faulty.image()), expected, 512));
  const std::string log = faulty.log();
  std::size_t shorts = 0;
  for (std::size_t at = log.find(" short\n"); at != std::string::npos;
       at = log.find(" short\n", at + 1))
    ++shorts;
  EXPECT_EQ(c.shorts, shorts) << log;
}

INSTANTIATE_TEST_SUITE_P(Engine, ShortFileWipes,
                         ::testing::Values(ShortFileWipe{"Forward64", "forward", 64, 5},
                                           ShortFileWipe{"Forward2048", "forward", 2048, 7},
                                           ShortFileWipe{"Reverse64", "reverse", 64, 5},
                                           ShortFileWipe{"Reverse2048", "reverse", 2048, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

// A command that the engine cannot serve is refused with "init failed" before anything is opened:
// the named file is not even created.
struct Refusal {
  const char* name;
  const char* member; // of the command, or of the device when it starts with "device."
  long long value;
  std::string log;
};

class Refusals : public EngineFixture, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, AnswerInitFailed) {
  const std::string image = dir.file("absent.img");
  config::Value command = wipe_command(file_device(image), 0, 8, 4);
  const std::string member = GetParam().member;
  if (member.rfind("device.", 0) == 0)
    command["device"].set(member.substr(7).c_str(), GetParam().value);
  else
    command.set(member.c_str(), GetParam().value);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ((std::vector<std::string>{initFailed, ready}), exchange.replies);
  EXPECT_EQ(255, finish());
  EXPECT_NE(std::string::npos, log_text().find(GetParam().log + "WipeStandard.cpp(194)\n"))
      << log_text();
  EXPECT_FALSE(std::filesystem::exists(image));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, Refusals,
    ::testing::Values(
        Refusal{"NoSectorsPerTime", "sectorsPerTime", 0,
                "WipeContext.cpp(40): sectorsPerTime 0 is not a chunk size\n"},
        Refusal{"NegativeSectorsPerTime", "sectorsPerTime", -1,
                "WipeContext.cpp(40): sectorsPerTime -1 is not a chunk size\n"},
        Refusal{"NoSectorSize", "device.sectorSize", 0,
                "WipeContext.cpp(47): sectorSize 0 is not a sector size\n"},
        Refusal{"NegativeSectorSize", "device.sectorSize", -512,
                "WipeContext.cpp(47): sectorSize -512 is not a sector size\n"},
        Refusal{"ChunkBeyondOneFileTransfer", "sectorsPerTime", (1 << 21) + 1,
                "WipeContext.cpp(56): 2097153 sectors of 512 bytes are more than one transfer "
                "of the device can move\n"},
        Refusal{"ChunkSizeOverflows", "sectorsPerTime", 1LL << 60,
                "WipeContext.cpp(56): 1152921504606846976 sectors of 512 bytes are more than "
                "one transfer of the device can move\n"},
        Refusal{"RangeWrapsAround", "lba", -4,
                "WipeContext.cpp(67): 8 sectors from 18446744073709551612 lie beyond the reach "
                "of the device's byte offsets\n"},
        Refusal{"RangeBeyondByteOffsets", "lba", 1LL << 55,
                "WipeContext.cpp(67): 8 sectors from 36028797018963968 lie beyond the reach of "
                "the device's byte offsets\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DeviceFailure {
  const char* name;
  std::string type;
  std::string id; // "{dir}/" is the temporary directory
  std::string log;
};

class DeviceFailures : public EngineFixture, public ::testing::WithParamInterface<DeviceFailure> {};

TEST_P(DeviceFailures, AnswerInitFailed) {
  std::string id = GetParam().id;
  std::string log = GetParam().log;
  for (std::string* text : {&id, &log}) {
    const auto at = text->find("{dir}");
    if (at != std::string::npos)
      text->replace(at, 5, dir.path().string());
  }
  config::Value device = file_device(id);
  device.set("type", GetParam().type);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(wipe_command(device, 0, 1, 1)));
  EXPECT_EQ((std::vector<std::string>{initFailed, ready}), exchange.replies);
  EXPECT_EQ(255, finish());
  EXPECT_NE(std::string::npos, log_text().find(log + "WipeStandard.cpp(194)\n")) << log_text();
}

INSTANTIATE_TEST_SUITE_P(
    Engine, DeviceFailures,
    ::testing::Values(
        DeviceFailure{"MissingDirectory", "file", "{dir}/none/disk.img",
                      "FileStd.cpp(44): {dir}/none/disk.img No such file or directory\n"
                      "DriverStd.cpp(79)\n"},
        // Device nodes are refused as files; a raw device opens only as one of the raw types.
        DeviceFailure{"CharacterDeviceAsFile", "file", "/dev/null",
                      "FileStd.cpp(40): /dev/null is a device or a pipe, not a file\n"
                      "DriverStd.cpp(79)\n"},
        DeviceFailure{"RawDrive", "drive", "\\\\.\\PhysicalDrive99", "DriverStd.cpp(54)\n"},
        DeviceFailure{"RawPartition", "partition", "\\\\.\\HarddiskVolume99",
                      "DriverStd.cpp(54)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, BlockDeviceIsNotWipedAsAFile) {
  const std::string image = dir.file("backing.img");
  const std::string before = make_image(image, 64, 512);
  LoopDevice loop(image, 512);
  if (!loop.why_not().empty())
    GTEST_SKIP() << loop.why_not();
  start_ready();
  const Exchange exchange =
      converse(*engine, line_of(wipe_command(file_device(loop.node()), 0, 64, 8)));
  EXPECT_EQ((std::vector<std::string>{initFailed, ready}), exchange.replies);
  EXPECT_EQ(255, finish());
  EXPECT_NE(std::string::npos, log_text().find("FileStd.cpp(40): " + loop.node() +
                                               " is a device or a pipe, not a file\n"));
  EXPECT_EQ("", first_difference(file_text(image), before, 512));
}

// The device stays open until the client has answered "done"; an "interrupt" there is not
// inside a pass, so it ends the engine, after the wipe itself was complete.
TEST_F(EngineFixture, InterruptAnsweringDoneEndsTheEngine) {
  const std::string image = dir.file("disk.img");
  std::string expected = make_image(image, 4, 512);
  expected.replace(0, 2048, std::string(2048, 'z'));
  start_ready();
  config::Value command = wipe_command(file_device(image), 0, 4, 4);
  command.set("pattern", "z");
  const Exchange exchange = converse(*engine, line_of(command), [](const config::Value& m) {
    return m.get_string("status") == "done" ? "\"command\":\"interrupt\"" : "\"response\":\"ok\"";
  });
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, done(2048)}),
            without_run_time(exchange.replies));
  EXPECT_EQ(255, engine->wait());
  const std::string log = log_text();
  EXPECT_EQ("main.cpp(44): exception: std::exception\n", log.substr(log.rfind("main.cpp(44)")));
  EXPECT_EQ("", first_difference(file_text(image), expected, 512));
}

// Progress is paced by "updatePeriod": a period longer than the wipe sends no progress at all
// between the state and the final report.
TEST_F(EngineFixture, LongUpdatePeriodSendsNoProgress) {
  const std::string image = dir.file("disk.img");
  make_image(image, 64, 512);
  config::Value command = wipe_command(file_device(image), 0, 64, 1);
  command.set("updatePeriod", 3600000);
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  EXPECT_EQ((std::vector<std::string>{state("wiping"), passDone, state("verifying"), passDone,
                                      done(64 * 512), ready}),
            without_run_time(exchange.replies));
}

} // namespace
