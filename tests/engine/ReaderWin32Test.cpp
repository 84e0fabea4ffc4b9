// The raw device over the simulated machine: transfers through the bounce buffer, the read-ahead
// cache, and what opening a disk or a partition does to its volumes.
#include "ReaderWin32.h"

#include "LogCapture.h"
#include "SimulatedState.h"
#include "TestMachine.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

using Buffering = dt::ReaderWin32::Buffering;

// Disk 0 holds E:, F: and a volume with two letters; disk 1 holds K:. Disk 2 has 4096-byte
// sectors; disk 3 cannot flush; disk 4 does not tell its device number; disk 5 reports no
// sector size; disk 6 is larger than one bounce buffer.
const char* const machineText = R"(
"drives": [
  { "number": 0, "size": 16777216 },
  { "number": 1, "size": 8388608 },
  { "number": 2, "size": 8388608, "sector size": 4096 },
  { "number": 3, "size": 4194304, "fail": ["FlushFileBuffers"] },
  { "number": 4, "size": 4194304, "fail": ["IOCTL_STORAGE_GET_DEVICE_NUMBER"] },
  { "number": 5, "size": 4194304, "sector size": 0 },
  { "number": 6, "size": 41943040 }
],
"volumes": [
  { "guid": "aaaaaaaa-0000-4000-8000-000000000001", "disk": 0, "offset": 1048576,
    "length": 4194304, "file system": "NTFS", "letters": "E" },
  { "guid": "aaaaaaaa-0000-4000-8000-000000000002", "disk": 0, "offset": 5242880,
    "length": 4194304, "file system": "FAT32", "letters": "F" },
  { "guid": "aaaaaaaa-0000-4000-8000-000000000003", "disk": 0, "offset": 9437184,
    "length": 2097152, "file system": "NTFS", "letters": "GH" },
  { "guid": "aaaaaaaa-0000-4000-8000-000000000004", "disk": 1, "offset": 1048576,
    "length": 4194304, "file system": "NTFS", "letters": "K" }
]
)";

const std::string volumeE = "aaaaaaaa-0000-4000-8000-000000000001";
const std::string volumeF = "aaaaaaaa-0000-4000-8000-000000000002";
const std::string volumeGH = "aaaaaaaa-0000-4000-8000-000000000003";
const std::string volumeK = "aaaaaaaa-0000-4000-8000-000000000004";

std::string drive(int number) { return "\\\\.\\PhysicalDrive" + std::to_string(number); }

// Every byte depends on its offset.
std::string pattern_bytes(std::uint64_t offset, std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>((offset + i) * 7 + (offset + i) / 512);
  return bytes;
}

class RawDevice : public ::testing::Test {
protected:
  void SetUp() override {
    // Disk 0 starts with bytes that tell their offset.
    std::ofstream(machine.image("disk0.img"), std::ios::binary) << pattern_bytes(0, 16777216);
    std::ofstream(machine.image("disk6.img"), std::ios::binary) << pattern_bytes(0, 41943040);
  }

  platform::SimulatedState::Snapshot state() const {
    platform::SimulatedState::Snapshot snapshot;
    EXPECT_TRUE(platform::SimulatedState(machine.path() + ".state").read(snapshot));
    return snapshot;
  }
  static std::vector<std::string> volumes(const std::vector<platform::SimulatedState::Claim>& c) {
    std::vector<std::string> names;
    for (const auto& claim : c)
      names.push_back(claim.volume);
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string letters() {
    std::string text;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
      if (mask & (1u << i))
        text += static_cast<char>('A' + i);
    return text;
  }

  TestMachine machine{machineText};
  LogCapture log;
};

TEST_F(RawDevice, TransfersAreWholeSectorsOfOneBufferCutAtTheEnd) {
  dt::ReaderWin32 disk;
  ASSERT_TRUE(disk.open(drive(0), OpenMode::Read, Buffering::Enabled));
  EXPECT_EQ(512u, disk.sector_size());
  EXPECT_EQ(16777216u, disk.size());
  EXPECT_EQ(dt::ReaderWin32::Kind::Disk, disk.kind());
  const std::uint64_t end = 16777216;
  const std::uint64_t bufferSize = 512 * 65536;
  std::string buffer(8 * 512, '\0');
  log.clear();
  // 8 sectors asked from 3 before the end: the 3 that are there.
  EXPECT_EQ(3 * 512, disk.read_some(end - 3 * 512, buffer.data(), 8 * 512));
  EXPECT_EQ(pattern_bytes(end - 3 * 512, 3 * 512), buffer.substr(0, 3 * 512));
  EXPECT_EQ(0, disk.read_some(0, buffer.data(), 0));
  EXPECT_EQ("", log.text());
  const struct {
    std::uint64_t offset, length;
    std::string line;
  } refused[] = {
      {end, 512, "ReaderWin32.cpp(212): 16777216\n"},
      {end + 512, 512, "ReaderWin32.cpp(212): 16777728\n"},
      {100, 512, "ReaderWin32.cpp(207): 100 512 512 33554432\n"},
      {0, 100, "ReaderWin32.cpp(207): 0 100 512 33554432\n"},
      {0, bufferSize + 512, "ReaderWin32.cpp(207): 0 33554944 512 33554432\n"},
  };
  std::string big(bufferSize + 512, '\0');
  for (const auto& r : refused) {
    log.clear();
    EXPECT_EQ(0, disk.read_some(r.offset, big.data(), r.length)) << r.offset << " " << r.length;
    EXPECT_EQ(r.line, log.text());
  }
  log.clear();
  EXPECT_EQ(0, disk.write_some(end, big.data(), 512));
  EXPECT_EQ("ReaderWin32.cpp(236): 16777216\n", log.text());
  // Read-only: every write fails in the system.
  log.clear();
  EXPECT_EQ(0, disk.write_some(0, big.data(), 512));
  EXPECT_NE(std::string::npos, log.text().find("ReaderWin32.cpp(349): 0 512 0 "));
}

TEST_F(RawDevice, ReadExactServesAnyOffsetFromTheCacheAndSeesNewWrites) {
  dt::ReaderWin32 disk;
  ASSERT_TRUE(disk.open(drive(0), OpenMode::ReadWrite, Buffering::Enabled));
  // 10 bytes at 700: the cache is filled from the sector boundary at 512.
  std::string bytes(10, '\0');
  ASSERT_TRUE(disk.read_exact(700, bytes.data(), bytes.size()));
  EXPECT_EQ(pattern_bytes(700, 10), bytes);
  // A read past what one fill of the cache holds goes on with the next fill.
  dt::ReaderWin32 large;
  ASSERT_TRUE(large.open(drive(6), OpenMode::Read, Buffering::Enabled));
  ASSERT_TRUE(large.read_exact(700, bytes.data(), bytes.size()));
  const std::uint64_t cacheEnd = 512 + 512 * 65536;
  std::string across(1024, '\0');
  log.clear();
  ASSERT_TRUE(large.read_exact(cacheEnd - 100, across.data(), across.size()));
  EXPECT_EQ(pattern_bytes(cacheEnd - 100, across.size()), across);
  EXPECT_EQ("", log.text());
  // After a write through the bounce buffer, reads come from the device, not from the cache
  // that the buffer held.
  const std::string sector(512, 'w');
  ASSERT_EQ(512, disk.write_some(1024, sector.data(), 512));
  ASSERT_TRUE(disk.read_exact(1030, bytes.data(), bytes.size()));
  EXPECT_EQ(std::string(10, 'w'), bytes);
  ASSERT_TRUE(disk.read_exact(700, bytes.data(), bytes.size()));
  EXPECT_EQ(pattern_bytes(700, 10), bytes);
  // Past the end: refused.
  log.clear();
  EXPECT_FALSE(disk.read_exact(16777216 - 4, across.data(), 8));
  EXPECT_EQ("ReaderWin32.cpp(296): 16777216 16777216\nReaderWin32.cpp(174): 16777216\n",
            log.text());
}

// A whole disk opened for writing: each of its volumes is locked and dismounted for as long as
// the disk is open, and loses its drive letter when it has exactly one; other disks' volumes are
// untouched. Closing the disk ends the locks; the letters stay deleted.
TEST_F(RawDevice, DiskOpenedForWritingTakesItsVolumesAway) {
  EXPECT_EQ("EFGHK", letters());
  {
    dt::ReaderWin32 disk;
    ASSERT_TRUE(disk.open(drive(0), OpenMode::ReadWrite, Buffering::Enabled));
    EXPECT_EQ(dt::ReaderWin32::Kind::Disk, disk.kind());
    const auto snapshot = state();
    EXPECT_EQ((std::vector<std::string>{volumeE, volumeF, volumeGH}), volumes(snapshot.locks));
    EXPECT_EQ((std::vector<std::string>{volumeE, volumeF, volumeGH}), volumes(snapshot.dismounts));
    EXPECT_EQ("GHK", letters());
    // Another holder cannot take the volumes now.
    Win32Handle other = Win32Handle::open("\\\\.\\G:", GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(other.valid());
    EXPECT_FALSE(send_control(other.get(), FSCTL_LOCK_VOLUME));
    // And the disk is written where its volumes lie.
    const std::string sector(512, 'x');
    EXPECT_EQ(512, disk.write_some(1048576, sector.data(), 512));
    const std::string text = log.text();
    for (const std::string& line : std::vector<std::string>{
             "ReaderWin32.cpp(102): DeviceType: 7\n  DeviceNumber: 0\n  PartitionNumber: 0\n",
             "ReaderWin32.cpp(417): delete volume mount point: \\\\.\\E:\\\n",
             "ReaderWin32.cpp(422): lock volume: \\\\?\\Volume{" + volumeE + "}\n",
             "ReaderWin32.cpp(434): dismount volume: \\\\?\\Volume{" + volumeE + "}\n",
             "ReaderWin32.cpp(417): delete volume mount point: \\\\.\\F:\\\n",
             "ReaderWin32.cpp(422): lock volume: \\\\?\\Volume{" + volumeGH + "}\n"})
      EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    EXPECT_EQ(std::string::npos, text.find(volumeK)) << text;
  }
  const auto after = state();
  EXPECT_TRUE(after.locks.empty());
  EXPECT_TRUE(after.dismounts.empty());
  EXPECT_EQ("GHK", letters());
}

// The volumes taken away are asked of the disk alone: a volume of another disk is not even
// opened. A disk that cannot tell its volumes has every volume of the machine walked, and loses
// the same ones.
TEST(RawDeviceVolumes, AreTheDisksOwnFoundWithoutTheOtherDisks) {
  TestMachine machine(R"(
"drives": [
  { "number": 0, "size": 4194304 },
  { "number": 1, "size": 4194304 },
  { "number": 2, "size": 4194304, "fail": ["IOCTL_DISK_VOLUME_NAMES"] }
],
"volumes": [
  { "guid": "bbbbbbbb-0000-4000-8000-000000000001", "disk": 0, "offset": 1048576,
    "length": 1048576, "file system": "NTFS", "letters": "E" },
  { "guid": "bbbbbbbb-0000-4000-8000-000000000002", "disk": 1, "offset": 1048576,
    "length": 1048576, "file system": "NTFS", "fail": ["CreateFileA"] },
  { "guid": "bbbbbbbb-0000-4000-8000-000000000003", "disk": 2, "offset": 1048576,
    "length": 1048576, "file system": "NTFS", "letters": "F" }
])");
  const std::string other =
      "ReaderWin32.cpp(382): \\\\?\\Volume{bbbbbbbb-0000-4000-8000-000000000002} ";
  const struct {
    int drive;
    std::string locked; // the GUID's last digit
    bool walked;        // every volume of the machine
  } cases[] = {{0, "1", false}, {2, "3", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.drive);
    LogCapture log;
    dt::ReaderWin32 disk;
    ASSERT_TRUE(disk.open(drive(c.drive), OpenMode::ReadWrite, Buffering::Enabled));
    platform::SimulatedState::Snapshot snapshot;
    ASSERT_TRUE(platform::SimulatedState(machine.path() + ".state").read(snapshot));
    ASSERT_EQ(snapshot.locks.size(), 1u);
    EXPECT_EQ(snapshot.locks[0].volume, "bbbbbbbb-0000-4000-8000-00000000000" + c.locked);
    const std::string text = log.text();
    EXPECT_EQ(text.find(other) != std::string::npos, c.walked) << text;
    EXPECT_EQ(text.find("ReaderWin32.cpp(362): IOCTL_DISK_VOLUME_NAMES failed: ") !=
                  std::string::npos,
              c.walked)
        << text;
  }
}

TEST_F(RawDevice, ReadOnlyOpensAndPartitionsTouchOnlyWhatTheyMust) {
  {
    dt::ReaderWin32 disk;
    ASSERT_TRUE(disk.open(drive(0), OpenMode::Read, Buffering::Enabled));
    const auto snapshot = state();
    EXPECT_TRUE(snapshot.locks.empty());
    EXPECT_TRUE(snapshot.dismounts.empty());
  }
  {
    dt::ReaderWin32 partition;
    ASSERT_TRUE(partition.open("\\\\.\\F:", OpenMode::Read, Buffering::Enabled));
    EXPECT_EQ(dt::ReaderWin32::Kind::Partition, partition.kind());
    EXPECT_EQ(4194304u, partition.size());
    EXPECT_TRUE(state().dismounts.empty());
  }
  {
    dt::ReaderWin32 partition;
    ASSERT_TRUE(partition.open("\\\\.\\F:", OpenMode::ReadWrite, Buffering::Enabled));
    const auto snapshot = state();
    EXPECT_TRUE(snapshot.locks.empty());
    EXPECT_EQ((std::vector<std::string>{volumeF}), volumes(snapshot.dismounts));
    // Its offsets count from the start of the partition.
    std::string sector(512, '\0');
    ASSERT_EQ(512, partition.read_some(0, sector.data(), 512));
    EXPECT_EQ(pattern_bytes(5242880, 512), sector);
  }
  EXPECT_EQ("EFGHK", letters());
  const std::string text = log.text();
  EXPECT_EQ(std::string::npos, text.find("lock volume")) << text;
  EXPECT_EQ(std::string::npos, text.find("ReaderWin32.cpp(129)")) << text;
}

// A second open takes over only once the new device is open; a failed one leaves the first.
TEST_F(RawDevice, FailedOpensLeaveWhatWasOpen) {
  dt::ReaderWin32 disk;
  ASSERT_TRUE(disk.open(drive(0), OpenMode::ReadWrite, Buffering::Enabled));
  const struct {
    std::string path;
    std::string line;
  } failures[] = {
      {drive(9), "ReaderWin32.cpp(65): \\\\.\\PhysicalDrive9 "},
      {drive(5), "ReaderWin32.cpp(71): \\\\.\\PhysicalDrive5\n"},
  };
  for (const auto& f : failures) {
    log.clear();
    EXPECT_FALSE(disk.open(f.path, OpenMode::ReadWrite, Buffering::Enabled));
    EXPECT_NE(std::string::npos, log.text().find(f.line)) << log.text();
    EXPECT_EQ(drive(0), disk.path());
    EXPECT_EQ(3u, state().locks.size());
  }
  std::string sector(512, '\0');
  EXPECT_EQ(512, disk.read_some(0, sector.data(), 512));
  // A device that does not tell its number opens as some other device: nothing is locked.
  ASSERT_TRUE(disk.open(drive(4), OpenMode::ReadWrite, Buffering::Enabled));
  EXPECT_EQ(dt::ReaderWin32::Kind::Other, disk.kind());
  EXPECT_TRUE(state().locks.empty());
  EXPECT_NE(std::string::npos, log.text().find("ReaderWin32.cpp(98): \\\\.\\PhysicalDrive4 "));
  // The 4096-byte disk, unbuffered.
  ASSERT_TRUE(disk.open(drive(2), OpenMode::Read, Buffering::Disabled));
  EXPECT_EQ(4096u, disk.sector_size());
}

// Flushing reaches the device, and its failure is reported: a write that stayed in a cache is
// no wipe.
TEST_F(RawDevice, SyncReportsAFailedFlush) {
  dt::ReaderWin32 good;
  ASSERT_TRUE(good.open(drive(1), OpenMode::ReadWrite, Buffering::Disabled));
  EXPECT_TRUE(good.sync());
  dt::ReaderWin32 failing;
  ASSERT_TRUE(failing.open(drive(3), OpenMode::ReadWrite, Buffering::Enabled));
  log.clear();
  EXPECT_FALSE(failing.sync());
  EXPECT_NE(std::string::npos, log.text().find("ReaderWin32.cpp(275): \\\\.\\PhysicalDrive3 "))
      << log.text();
}

} // namespace
