// The real machine on loop devices that each test sets up and removes. They need root and a
// loop driver, and skip with the reason where there is none. Nothing here writes to any device
// but the test's own loop device: each test checks that the drive it writes to is that one.
#include "LinuxMachine.h"
#include "Bytes.h"
#include "DeviceMapping.h"
#include "LogCapture.h"
#include "LoopDevice.h"
#include "LoopDrive.h"
#include "TestMachine.h"
#include "Win32.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string file_bytes(const std::string& path, std::uint64_t offset, std::size_t length) {
  std::ifstream stream(path, std::ios::binary);
  stream.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(length, '\0');
  stream.read(bytes.data(), static_cast<std::streamsize>(length));
  return bytes;
}

// The real machine with this test's loop device as its last physical drive.
class LinuxLoop : public LoopDriveTest {
protected:
  // Opens the loop device's drive, after checking once more that the number is still it.
  Win32Handle open_drive(DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    const std::vector<std::string> names = platform::linux_drive_names();
    if (names.size() != number + 1 || names.back() != loop->name())
      return Win32Handle();
    return Win32Handle::open(path, access, flags);
  }

  // Writes one sector of `fill` at `offset`; the last error tells why not.
  static bool write_sector(HANDLE drive, std::uint64_t offset, char fill) {
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    std::memset(page, fill, 4096);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    DWORD count = 0;
    const bool ok = SetFilePointerEx(drive, to, nullptr, FILE_BEGIN) &&
                    WriteFile(drive, page, GetParam(), &count, nullptr) && count == GetParam();
    const DWORD error = GetLastError();
    VirtualFree(page, 0, MEM_RELEASE);
    SetLastError(error);
    return ok;
  }

  // The volumes of the volume walk that lie on the loop device, by name (without the trailing
  // backslash), each with where it starts on the disk.
  std::vector<std::pair<std::string, std::uint64_t>> volumes_on_disk() {
    std::vector<std::pair<std::string, std::uint64_t>> found;
    char name[MAX_PATH];
    HANDLE walk = FindFirstVolumeA(name, sizeof name);
    if (walk == INVALID_HANDLE_VALUE)
      return found;
    do {
      std::string candidate(name);
      candidate.pop_back();
      Win32Handle volume = Win32Handle::open(candidate, 0);
      VOLUME_DISK_EXTENTS extents;
      if (volume.valid() &&
          query_record(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, extents) &&
          extents.NumberOfDiskExtents == 1 && extents.Extents[0].DiskNumber == number)
        found.emplace_back(candidate, extents.Extents[0].StartingOffset.QuadPart);
    } while (FindNextVolumeA(walk, name, sizeof name));
    FindVolumeClose(walk);
    return found;
  }

  // The drive letters of the file systems on the disk.
  std::string disk_letters() {
    LogCapture log; // the letters of drives that cannot be opened here are logged
    Win32Handle drive = open_drive(GENERIC_READ);
    return drive.valid() ? DeviceMapping().letters(drive.get()) : "?";
  }

  // Whether a write of one sector far into the disk, through a handle of its own, is let
  // through; the last error tells why not.
  bool disk_writable() {
    Win32Handle drive = open_drive(GENERIC_READ | GENERIC_WRITE);
    return drive.valid() && write_sector(drive.get(), 60 * 1048576, 'w');
  }
};

// Sectors read from the device `name` so far, in 512-byte units, as the kernel counts them.
std::uint64_t sectors_read(const std::string& name) {
  std::ifstream stat("/sys/block/" + name + "/stat");
  std::uint64_t ios = 0, merges = 0, sectors = 0;
  stat >> ios >> merges >> sectors;
  return sectors;
}

// Whether this process can have `node` to itself (O_EXCL), as a mount would need it.
bool can_claim(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  if (fd < 0)
    return false;
  ::close(fd);
  return true;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(SectorSizes, LinuxLoop, ::testing::Values(512u, 4096u),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_P(LinuxLoop, IsAPhysicalDriveOnlyWhenAskedFor) {
  Win32Handle drive = open_drive(GENERIC_READ);
  ASSERT_TRUE(drive.valid()) << GetLastError();
  DISK_GEOMETRY geometry;
  ASSERT_TRUE(query_record(drive.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, geometry));
  EXPECT_EQ(geometry.BytesPerSector, GetParam());
  EXPECT_EQ(static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * GetParam(), 64u * 1048576);
  PARTITION_INFORMATION partition;
  ASSERT_TRUE(query_record(drive.get(), IOCTL_DISK_GET_PARTITION_INFO, partition));
  EXPECT_EQ(partition.PartitionLength.QuadPart, 64 * 1048576);
  STORAGE_DEVICE_NUMBER device;
  ASSERT_TRUE(query_record(drive.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, device));
  EXPECT_EQ(device.DeviceType, FILE_DEVICE_DISK);
  EXPECT_EQ(device.DeviceNumber, number);
  EXPECT_EQ(device.PartitionNumber, 0u);

  std::vector<BYTE> buffer;
  DWORD returned = 0;
  ASSERT_TRUE(query_descriptor(drive.get(), buffer, returned));
  STORAGE_DEVICE_DESCRIPTOR record;
  std::memcpy(&record, buffer.data(), sizeof record);
  EXPECT_EQ(record.Size, returned);
  EXPECT_EQ(record.BusType, BusTypeFileBackedVirtual);
  EXPECT_EQ(record.RemovableMedia, 0);

  // Not listed without CVW_LOOP_DEVICES: the drive number then names no drive, or another.
  drive.reset();
  ScopedEnvironment none("CVW_LOOP_DEVICES", std::nullopt);
  const std::vector<std::string> names = platform::linux_drive_names();
  for (const std::string& name : names)
    EXPECT_NE(name.rfind("loop", 0), 0u) << name;
  EXPECT_EQ(names.size(), number);
}

TEST_P(LinuxLoop, IsNamedByItsAttachNotByItsNumber) {
  const auto guid_of = [](const Win32Handle& drive) {
    STORAGE_DEVICE_NUMBER_EX number;
    if (!drive.valid() || !query_record(drive.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER_EX, number))
      return std::string();
    return std::string(reinterpret_cast<const char*>(&number.DeviceGuid), 16);
  };
  const std::string first = guid_of(open_drive(0));
  ASSERT_EQ(first.size(), 16u) << GetLastError();
  EXPECT_EQ(guid_of(open_drive(GENERIC_READ)), first);

  // It is the disk sequence number of the kernel and the device's number, as others see them.
  std::uint64_t sequence = 0;
  std::ifstream("/sys/block/" + loop->name() + "/diskseq") >> sequence;
  struct stat status;
  ASSERT_EQ(stat(loop->node().c_str(), &status), 0);
  GUID expected;
  std::memcpy(&expected, first.data(), sizeof expected);
  EXPECT_EQ(expected.Data1 | static_cast<std::uint64_t>(expected.Data2) << 32 |
                static_cast<std::uint64_t>(expected.Data3) << 48,
            sequence);
  std::uint64_t device = 0;
  for (BYTE byte : expected.Data4)
    device = device << 8 | byte;
  EXPECT_EQ(device, static_cast<std::uint64_t>(status.st_rdev));

  char names[MAX_PATH];
  const std::string dosName = "PhysicalDrive" + std::to_string(number);
  ASSERT_NE(QueryDosDeviceA(dosName.c_str(), names, sizeof names), 0u);
  EXPECT_EQ(std::string(names), loop->node());

  // A volume is named by its disk.
  std::string output;
  if (loop->make_partitions({{1048576, 8 * 1048576}}, GetParam(), output)) {
    const auto volumes = volumes_on_disk();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(guid_of(Win32Handle::open(volumes[0].first, 0)), first);
  }

  // The same image attached anew at the same node: the same number, another disk.
  if (!loop->reattach(loop->image(), GetParam(), output))
    GTEST_SKIP() << output;
  const std::string again = guid_of(open_drive(0));
  ASSERT_EQ(again.size(), 16u);
  EXPECT_NE(again, first);
}

TEST_P(LinuxLoop, LogsEachBlockDeviceThatIsNoDriveWithItsReason) {
  LogCapture log;
  ScopedEnvironment none("CVW_LOOP_DEVICES", std::nullopt);
  platform::linux_drive_names(); // the loop devices asked for changed: the disks are read anew
  EXPECT_NE(log.text().find("LinuxBlock.cpp(412): " + loop->node() +
                            " is no drive: a loop device that CVW_LOOP_DEVICES does not ask for\n"),
            std::string::npos)
      << log.text();
}

TEST_P(LinuxLoop, ReadsAndWritesBufferedAndUnbuffered) {
  for (DWORD flags : {FILE_ATTRIBUTE_NORMAL, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH}) {
    SCOPED_TRACE(flags);
    const char fill = flags == FILE_ATTRIBUTE_NORMAL ? 'b' : 'u';
    Win32Handle drive = open_drive(GENERIC_READ | GENERIC_WRITE, flags);
    ASSERT_TRUE(drive.valid()) << GetLastError();
    const std::uint64_t offset = 8 * std::uint64_t(GetParam());
    ASSERT_TRUE(write_sector(drive.get(), offset, fill)) << GetLastError();
    ASSERT_TRUE(FlushFileBuffers(drive.get()));
    EXPECT_EQ(first_difference(file_bytes(loop->image(), offset, GetParam()),
                               std::string(GetParam(), fill)),
              "");

    char* page = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    DWORD count = 0;
    ASSERT_TRUE(SetFilePointerEx(drive.get(), to, nullptr, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(drive.get(), page, GetParam(), &count, nullptr));
    EXPECT_EQ(std::string(page, count), std::string(GetParam(), fill));
    // The last sector, then the end of the medium.
    to.QuadPart = 64 * 1048576 - GetParam();
    ASSERT_TRUE(SetFilePointerEx(drive.get(), to, nullptr, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(drive.get(), page, 2 * GetParam(), &count, nullptr));
    EXPECT_EQ(count, GetParam());
    VirtualFree(page, 0, MEM_RELEASE);
  }
}

TEST_P(LinuxLoop, RefusesWritesWhileTheFileSystemIsMounted) {
  std::string output;
  if (!loop->make_ext4("CVWTEST", output))
    GTEST_SKIP() << "mkfs.ext4 failed: " << output;
  ASSERT_TRUE(loop->mount(output)) << output;
  const std::string before = file_bytes(loop->image(), 0, 4096);

  Win32Handle drive = open_drive(GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(drive.valid());
  EXPECT_FALSE(write_sector(drive.get(), 0, 'w'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(write_sector(drive.get(), 32 * 1048576, 'w'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(first_difference(file_bytes(loop->image(), 0, 4096), before), "");

  // The file system is a volume with a drive letter; locking it fails while it is mounted.
  LogCapture log; // the letters of drives that cannot be opened here are logged
  DeviceMapping mapping;
  const std::string letters = mapping.letters(drive.get());
  ASSERT_EQ(letters.size(), 1u);
  const std::string volumePath = std::string("\\\\.\\") + letters + ":";
  Win32Handle volume = Win32Handle::open(volumePath, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(volume.valid()) << GetLastError();
  char label[261], fileSystem[261];
  ASSERT_TRUE(GetVolumeInformationA((letters + ":\\").c_str(), label, sizeof label, nullptr,
                                    nullptr, nullptr, fileSystem, sizeof fileSystem));
  EXPECT_STREQ(label, "CVWTEST");
  EXPECT_STREQ(fileSystem, "ext4");
  VOLUME_DISK_EXTENTS extents;
  ASSERT_TRUE(query_record(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, extents));
  EXPECT_EQ(extents.NumberOfDiskExtents, 1u);
  EXPECT_EQ(extents.Extents[0].DiskNumber, number);
  EXPECT_EQ(extents.Extents[0].ExtentLength.QuadPart, 64 * 1048576);
  EXPECT_FALSE(write_sector(volume.get(), 0, 'w'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(send_control(volume.get(), FSCTL_LOCK_VOLUME));
  EXPECT_EQ(GetLastError(), ERROR_BUSY);

  // Dismounting unmounts it for real; then the disk may be written, and while this process
  // writes it, nobody can mount it.
  ASSERT_TRUE(send_control(volume.get(), FSCTL_DISMOUNT_VOLUME)) << GetLastError();
  EXPECT_FALSE(loop->is_mounted());
  // Far from the file system's metadata, so that it still mounts afterwards.
  ASSERT_TRUE(write_sector(drive.get(), 62 * 1048576, 'w')) << GetLastError();
  EXPECT_NE(LoopDevice::run("mount '" + loop->node() + "' '" + loop->mount_point() + "'", output),
            0);
  EXPECT_FALSE(loop->is_mounted());
  drive.reset();
  volume.reset();
  EXPECT_EQ(LoopDevice::run("mount '" + loop->node() + "' '" + loop->mount_point() + "'", output),
            0)
      << output;
  EXPECT_TRUE(loop->is_mounted());
}

TEST_P(LinuxLoop, RefusesWritesWhileAnotherHolderHasTheDevice) {
  const int holder = ::open(loop->node().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  Win32Handle drive = open_drive(GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(drive.valid());
  EXPECT_FALSE(write_sector(drive.get(), 0, 'h'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(
      first_difference(file_bytes(loop->image(), 0, GetParam()), std::string(GetParam(), '\0')),
      "");
  ::close(holder);
  EXPECT_TRUE(write_sector(drive.get(), 0, 'h')) << GetLastError();
  // Now this process holds it: another holder is refused until the handle is closed.
  EXPECT_LT(::open(loop->node().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC), 0);
  EXPECT_EQ(errno, EBUSY);
  drive.reset();
  const int again = ::open(loop->node().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  EXPECT_GE(again, 0);
  ::close(again);
}

TEST_P(LinuxLoop, ALockedVolumeIsThisProcesssToWrite) {
  std::string output;
  if (!loop->make_ext4("LOCKED", output))
    GTEST_SKIP() << "mkfs.ext4 failed: " << output;
  const auto listed = volumes_on_disk();
  ASSERT_EQ(listed.size(), 1u) << "the unmounted file system is listed as a volume";
  const std::string volumeName = listed[0].first;

  Win32Handle volume = Win32Handle::open(volumeName, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(send_control(volume.get(), FSCTL_LOCK_VOLUME)) << GetLastError();
  Win32Handle second = Win32Handle::open(volumeName, GENERIC_READ | GENERIC_WRITE);
  EXPECT_FALSE(send_control(second.get(), FSCTL_LOCK_VOLUME));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  Win32Handle drive = open_drive(GENERIC_READ | GENERIC_WRITE);
  EXPECT_TRUE(write_sector(drive.get(), 0, 'k')) << GetLastError();
  EXPECT_TRUE(write_sector(volume.get(), GetParam(), 'k')) << GetLastError();
  ASSERT_TRUE(FlushFileBuffers(drive.get()));
  ASSERT_TRUE(FlushFileBuffers(volume.get()));
  EXPECT_EQ(first_difference(file_bytes(loop->image(), 0, 2 * GetParam()),
                             std::string(2 * GetParam(), 'k')),
            "");
}

// A disk without partitions or signature is no volume, but while this process has it open for
// writing it is one, listed without reading the disk, so that a wipe's walk of the volumes
// takes it for itself at once.
TEST_P(LinuxLoop, ABlankDiskIsAVolumeWhileThisProcessWritesIt) {
  EXPECT_TRUE(volumes_on_disk().empty());
  Win32Handle reading = open_drive(GENERIC_READ);
  EXPECT_TRUE(volumes_on_disk().empty()) << "open for reading only";
  {
    Win32Handle writing = open_drive(GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(writing.valid());
    const int fd = ::open(loop->node().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); // what the walks above read is read again
    ::close(fd);
    const std::uint64_t before = sectors_read(loop->name());
    const auto listed = volumes_on_disk();
    EXPECT_EQ(sectors_read(loop->name()), before) << "the walk read the disk";
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].second, 0u);
    Win32Handle volume = Win32Handle::open(listed[0].first, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(send_control(volume.get(), FSCTL_LOCK_VOLUME)) << GetLastError();
    EXPECT_FALSE(can_claim(loop->node()));
    EXPECT_TRUE(write_sector(writing.get(), 0, 'v')) << GetLastError();
  }
  EXPECT_TRUE(volumes_on_disk().empty()) << "the writing handle is closed";
  EXPECT_TRUE(can_claim(loop->node()));
}

// A drive tells its own volumes (IOCTL_DISK_VOLUME_NAMES): those of the walk that lie on it, as
// partitions come and go and while this process writes the blank disk, found without reading any
// other disk, where the walk of every volume probes each blank disk for a file system.
TEST_P(LinuxLoop, TellsItsVolumesWithoutReadingOtherDisks) {
  LoopDevice other(16 * 1048576, GetParam());
  if (!other.why_not().empty())
    GTEST_SKIP() << other.why_not();
  ScopedEnvironment both("CVW_LOOP_DEVICES", loop->name() + "," + other.name());
  const std::vector<std::string> drives = platform::linux_drive_names();
  const auto found = std::find(drives.begin(), drives.end(), loop->name());
  ASSERT_NE(found, drives.end());
  number = static_cast<unsigned>(found - drives.begin());
  path = "\\\\.\\PhysicalDrive" + std::to_string(number);
  const auto own = [](HANDLE device) {
    std::vector<std::string> names;
    char list[1024];
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_DISK_VOLUME_NAMES, nullptr, 0, list, sizeof list, &returned,
                         nullptr))
      return std::vector<std::string>{"failed: " + std::to_string(GetLastError())};
    for (const char* name = list; *name != '\0'; name += std::strlen(name) + 1)
      names.emplace_back(name, std::strlen(name) - 1); // without the trailing backslash
    return names;
  };
  const auto walked = [&] {
    std::vector<std::string> names;
    for (const auto& [name, start] : volumes_on_disk())
      names.push_back(name);
    return names;
  };
  const auto forget = [](const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  };

  Win32Handle reading = Win32Handle::open(path, GENERIC_READ);
  ASSERT_TRUE(reading.valid()) << GetLastError();
  forget(other.node());
  const std::uint64_t before = sectors_read(other.name());
  EXPECT_EQ(own(reading.get()), std::vector<std::string>{});
  EXPECT_EQ(sectors_read(other.name()), before) << "the other disk was read";
  EXPECT_EQ(walked(), std::vector<std::string>{});
  EXPECT_GT(sectors_read(other.name()), before) << "the walk reads the blank disks";
  {
    Win32Handle writing = Win32Handle::open(path, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(writing.valid()) << GetLastError();
    EXPECT_EQ(own(writing.get()).size(), 1u);
    EXPECT_EQ(own(writing.get()), walked());
  }
  std::string output;
  if (!loop->make_partitions({{1048576, 8 * 1048576}, {16 * 1048576, 8 * 1048576}}, GetParam(),
                             output))
    GTEST_SKIP() << "no partitions: " << output;
  const std::vector<std::string> partitions = own(reading.get());
  EXPECT_EQ(partitions.size(), 2u);
  EXPECT_EQ(partitions, walked());
  ASSERT_FALSE(partitions.empty());
  Win32Handle volume = Win32Handle::open(partitions[0], GENERIC_READ);
  ASSERT_TRUE(volume.valid()) << GetLastError();
  EXPECT_EQ(own(volume.get()),
            std::vector<std::string>{"failed: " + std::to_string(ERROR_INVALID_FUNCTION)});
}

// A process may end while it holds a disk open for writing and its volume locked: the handles
// left open are closed as the process ends, after everything else of it has gone.
TEST_P(LinuxLoop, AProcessMayEndWithItsLockedVolumeOpen) {
  EXPECT_EXIT(
      {
        Win32Handle writing = open_drive(GENERIC_READ | GENERIC_WRITE);
        const auto listed = volumes_on_disk();
        HANDLE volume = listed.size() == 1
                            ? CreateFileA(listed[0].first.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                            : INVALID_HANDLE_VALUE;
        std::exit(volume != INVALID_HANDLE_VALUE && send_control(volume, FSCTL_LOCK_VOLUME) &&
                          write_sector(writing.get(), 0, 'e')
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A child made by fork() that looks at the machine takes nothing from its parent's view: a mount
// made before the fork, which the child sees, is still news to the parent afterwards.
TEST_P(LinuxLoop, AForkedChildLeavesItsParentsViewAlone) {
  std::string output;
  if (!loop->make_ext4("FORKED", output))
    GTEST_SKIP() << "mkfs.ext4 failed: " << output;
  ASSERT_EQ(disk_letters(), "");
  ASSERT_TRUE(loop->mount(output)) << output;
  EXPECT_EXIT(std::exit(disk_letters().size() == 1 ? 0 : 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(disk_letters().size(), 1u);
}

// What the layer read of the machine before is not taken for what is there now: partitions made
// or removed since (also one made anew at another start with the same size), and a mount or
// swap area begun or ended since by another process, count at the next call.
TEST_P(LinuxLoop, SeesUseAndPartitionsChangedSinceItsLastLook) {
  ASSERT_TRUE(disk_writable()) << GetLastError();
  std::string output;
  for (std::uint64_t start : {1048576u, 2097152u}) {
    SCOPED_TRACE(start);
    if (!loop->make_partitions({{start, 16 * 1048576}}, GetParam(), output))
      GTEST_SKIP() << "no partitions: " << output;
    const auto listed = volumes_on_disk();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].second, start);
  }
  ASSERT_TRUE(loop->make_partitions({}, GetParam(), output)) << output;
  EXPECT_TRUE(volumes_on_disk().empty());

  if (!loop->make_ext4("SEEN", output))
    GTEST_SKIP() << "mkfs.ext4 failed: " << output;
  EXPECT_EQ(disk_letters(), "");
  ASSERT_TRUE(loop->mount(output)) << output;
  EXPECT_EQ(disk_letters().size(), 1u);
  EXPECT_FALSE(disk_writable());
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  loop->unmount();
  ASSERT_FALSE(loop->is_mounted());
  EXPECT_EQ(disk_letters(), "");
  EXPECT_TRUE(disk_writable()) << GetLastError();

  if (LoopDevice::run("mkswap -f '" + loop->node() + "' && swapon '" + loop->node() + "'",
                      output) != 0)
    GTEST_SKIP() << "no swap area here: " << output;
  EXPECT_FALSE(disk_writable());
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_EQ(LoopDevice::run("swapoff '" + loop->node() + "'", output), 0) << output;
  EXPECT_TRUE(disk_writable()) << GetLastError();
}

// Overlapped transfers through the kernel's ring and through the thread-pool fallback: many in
// flight, waited for out of order; others only polled until they end (a ring may hold a transfer
// back until it is waited for or polled); and transfers started and waited for on another thread
// of the same handle meanwhile. Every one ends with its own outcome, and the disk holds what each
// write put there.
TEST_P(LinuxLoop, OverlappedTransfersEndWaitedPolledOrFromAnotherThread) {
  const DWORD chunk = 16 * GetParam();
  constexpr int count = 24;
  for (const char* queue : {"io_uring", "threads"}) {
    SCOPED_TRACE(queue);
    ScopedEnvironment kind("CVW_TRANSFER_QUEUE", std::string(queue));
    Win32Handle drive =
        open_drive(GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING);
    ASSERT_TRUE(drive.valid()) << GetLastError();
    auto* block = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, (count + 2) * chunk, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    // Kept for the ring; the threads, which lock each buffer themselves, refuse it.
    SetFileIoOverlappedRange(drive.get(), block, count * chunk);
    OVERLAPPED records[count];
    std::memset(records, 0, sizeof records);
    for (int i = 0; i < count; ++i) {
      std::memset(block + i * chunk, 'A' + i, chunk);
      records[i].Offset = static_cast<DWORD>(i) * chunk;
      ASSERT_FALSE(WriteFile(drive.get(), block + i * chunk, chunk, nullptr, &records[i]));
      ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    // The earlier half is only polled, before anything is waited for.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; i < count / 2; ++i) {
      DWORD moved = 0;
      BOOL ended = FALSE;
      while (!(ended = GetOverlappedResult(drive.get(), &records[i], &moved, FALSE)) &&
             GetLastError() == ERROR_IO_INCOMPLETE && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_TRUE(ended) << i << ": " << GetLastError();
      EXPECT_EQ(moved, chunk) << i;
    }
    // Then another thread writes and reads back a chunk past those, on the same handle.
    std::string other;
    std::thread neighbour([&] {
      unsigned char* mine = block + count * chunk;
      std::memset(mine, 'z', chunk);
      OVERLAPPED record;
      std::memset(&record, 0, sizeof record);
      record.Offset = count * chunk;
      DWORD moved = 0;
      if (!WriteFile(drive.get(), mine, chunk, nullptr, &record) &&
          GetLastError() == ERROR_IO_PENDING &&
          GetOverlappedResult(drive.get(), &record, &moved, TRUE) && moved == chunk) {
        std::memset(mine + chunk, 0, chunk);
        std::memset(&record, 0, sizeof record);
        record.Offset = count * chunk;
        if (!ReadFile(drive.get(), mine + chunk, chunk, nullptr, &record) &&
            GetLastError() == ERROR_IO_PENDING &&
            GetOverlappedResult(drive.get(), &record, &moved, TRUE))
          other.assign(reinterpret_cast<char*>(mine + chunk), moved);
      }
    });
    neighbour.join();
    EXPECT_EQ(other, std::string(chunk, 'z'));
    // The later half is waited for, last first.
    for (int i = count - 1; i >= count / 2; --i) {
      DWORD moved = 0;
      EXPECT_TRUE(GetOverlappedResult(drive.get(), &records[i], &moved, TRUE)) << i;
      EXPECT_EQ(moved, chunk) << i;
    }
    drive.reset();
    for (int i = 0; i < count; ++i)
      EXPECT_EQ(file_bytes(loop->image(), static_cast<std::uint64_t>(i) * chunk, chunk),
                std::string(chunk, static_cast<char>('A' + i)))
          << i;
    VirtualFree(block, 0, MEM_RELEASE);
  }
}

// Drive discovery marks the drives that hold the system, the programs and the application
// data by the drive letters of these variables; on Linux the layer sets those that are absent
// to the letters of the file systems holding "/", "/usr" and the home folder.
TEST(LinuxMachine, SetsTheSystemFoldersOfDriveDiscovery) {
  ScopedEnvironment noMachine("CVW_MACHINE", std::nullopt);
  ScopedEnvironment system("SYSTEMDRIVE", std::nullopt);
  ScopedEnvironment programs("PROGRAMFILES", std::nullopt);
  ScopedEnvironment data("APPDATA", std::string("Q:\\kept"));
  platform::LinuxMachine machine;
  const DWORD letters = machine.logical_drives();
  const char* systemDrive = std::getenv("SYSTEMDRIVE");
  if ((letters & (1u << 2)) != 0) {
    ASSERT_NE(systemDrive, nullptr);
    EXPECT_STREQ(systemDrive, "C:");
  } else {
    EXPECT_EQ(systemDrive, nullptr) << "no drive holds / here, so no drive is the system's";
  }
  if (const char* programFiles = std::getenv("PROGRAMFILES")) {
    ASSERT_GE(std::strlen(programFiles), 3u);
    EXPECT_EQ(programFiles[1], ':');
    EXPECT_NE(letters & (1u << (programFiles[0] - 'A')), 0u) << programFiles;
  }
  EXPECT_STREQ(std::getenv("APPDATA"), "Q:\\kept");
}
