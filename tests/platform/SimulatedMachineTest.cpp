// The simulated machine: machine files of the test data against what the calls return.
#include "Bytes.h"
#include "LogCapture.h"
#include "TestMachine.h"
#include "Win32.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace {

const char* const disk0 = R"(\\.\PhysicalDrive0)";
const char* const disk1 = R"(\\.\PhysicalDrive1)";
const char* const volumeE = R"(\\?\Volume{11111111-0000-4000-8000-000000000001})";
const char* const volumeRaw = R"(\\?\Volume{11111111-0000-4000-8000-000000000003})";

std::string image_bytes(const std::string& image, std::uint64_t offset, std::size_t length) {
  std::ifstream stream(image, std::ios::binary);
  stream.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(length, '\0');
  stream.read(bytes.data(), static_cast<std::streamsize>(length));
  return bytes;
}

// Writes `length` bytes of `fill` at `offset` through `handle`; the last error tells why not.
bool write_at(HANDLE handle, std::uint64_t offset, std::size_t length, char fill) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle, to, nullptr, FILE_BEGIN))
    return false;
  const std::string data(length, fill);
  DWORD count = 0;
  return WriteFile(handle, data.data(), static_cast<DWORD>(length), &count, nullptr) &&
         count == length;
}

bool read_at(HANDLE handle, std::uint64_t offset, std::string& data) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handle, to, nullptr, FILE_BEGIN))
    return false;
  DWORD count = 0;
  return ReadFile(handle, data.data(), static_cast<DWORD>(data.size()), &count, nullptr) &&
         count == data.size();
}

} // namespace

TEST(SimulatedMachine, OpensThePathForms) {
  TestMachine machine(machine_file("two-disks.cfg"));
  struct Case {
    const char* path;
    DWORD error;
  };
  const Case cases[] = {
      {R"(\\.\PhysicalDrive0)", 0},
      {R"(\\.\physicaldrive1)", 0},
      {R"(\\?\PhysicalDrive1)", 0},
      {R"(\\.\PhysicalDrive2)", ERROR_FILE_NOT_FOUND},
      {R"(\\.\PhysicalDrive01)", ERROR_FILE_NOT_FOUND},
      {R"(\\.\E:)", 0},
      {R"(\\.\g:)", 0},
      {R"(\\.\H:)", 0},
      {R"(\\.\F:)", ERROR_FILE_NOT_FOUND},
      {R"(\\.\A:)", ERROR_NOT_READY},
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000003})", 0},
      {R"(\\?\volume{11111111-0000-4000-8000-000000000003})", 0},
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000003}\)", ERROR_FILE_NOT_FOUND},
      {R"(\\?\Volume{11111111-0000-4000-8000-00000000000f})", ERROR_FILE_NOT_FOUND},
      {R"(\\.\Tape0)", ERROR_FILE_NOT_FOUND},
      {R"(C:\pattern.bin)", ERROR_NOT_SUPPORTED},
      {"/tmp/pattern.bin", ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SetLastError(0);
    Win32Handle handle = Win32Handle::open(c.path);
    EXPECT_EQ(handle.valid(), c.error == 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(SimulatedMachine, AnswersTheDeviceControls) {
  TestMachine machine(machine_file("two-disks.cfg"));
  struct Case {
    const char* path;
    std::uint64_t size;
    DWORD sectorSize;
    std::uint64_t diskSize;
    DWORD disk;
    DWORD partition;
    std::uint64_t offset;
    MEDIA_TYPE media;
  };
  const Case cases[] = {
      {disk0, 67108864, 512, 67108864, 0, 0, 0, FixedMedia},
      {disk1, 33554432, 4096, 33554432, 1, 0, 0, RemovableMedia},
      {R"(\\.\E:)", 16777216, 512, 67108864, 0, 1, 1048576, FixedMedia},
      {R"(\\.\D:)", 16777216, 512, 67108864, 0, 2, 17825792, FixedMedia},
      {volumeRaw, 8388608, 512, 67108864, 0, 3, 34603008, FixedMedia},
      {R"(\\.\H:)", 8388608, 4096, 33554432, 1, 1, 1048576, RemovableMedia},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Win32Handle device = Win32Handle::open(c.path, 0);
    ASSERT_TRUE(device.valid());
    const bool volume = c.partition != 0;

    DISK_GEOMETRY geometry;
    ASSERT_TRUE(query_record(device.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, geometry));
    EXPECT_EQ(geometry.BytesPerSector, c.sectorSize);
    EXPECT_EQ(static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
                  geometry.SectorsPerTrack * geometry.BytesPerSector,
              c.diskSize);
    EXPECT_EQ(geometry.MediaType, c.media);

    PARTITION_INFORMATION partition;
    ASSERT_TRUE(query_record(device.get(), IOCTL_DISK_GET_PARTITION_INFO, partition));
    EXPECT_EQ(static_cast<std::uint64_t>(partition.PartitionLength.QuadPart), c.size);
    EXPECT_EQ(static_cast<std::uint64_t>(partition.StartingOffset.QuadPart), c.offset);
    EXPECT_EQ(partition.PartitionNumber, c.partition);

    PARTITION_INFORMATION_EX partitionEx;
    ASSERT_TRUE(query_record(device.get(), IOCTL_DISK_GET_PARTITION_INFO_EX, partitionEx));
    EXPECT_EQ(static_cast<std::uint64_t>(partitionEx.PartitionLength.QuadPart), c.size);
    EXPECT_EQ(static_cast<std::uint64_t>(partitionEx.StartingOffset.QuadPart), c.offset);
    EXPECT_EQ(partitionEx.PartitionStyle, volume ? PARTITION_STYLE_MBR : PARTITION_STYLE_RAW);

    STORAGE_DEVICE_NUMBER number;
    ASSERT_TRUE(query_record(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, number));
    EXPECT_EQ(number.DeviceType, FILE_DEVICE_DISK);
    EXPECT_EQ(number.DeviceNumber, c.disk);
    EXPECT_EQ(number.PartitionNumber, c.partition);

    VOLUME_DISK_EXTENTS extents;
    const bool answered = query_record(device.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, extents);
    EXPECT_EQ(answered, volume);
    if (answered) {
      EXPECT_EQ(extents.NumberOfDiskExtents, 1u);
      EXPECT_EQ(extents.Extents[0].DiskNumber, c.disk);
      EXPECT_EQ(static_cast<std::uint64_t>(extents.Extents[0].StartingOffset.QuadPart), c.offset);
      EXPECT_EQ(static_cast<std::uint64_t>(extents.Extents[0].ExtentLength.QuadPart), c.size);
    } else {
      EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    }
    EXPECT_EQ(send_control(device.get(), FSCTL_ALLOW_EXTENDED_DASD_IO), volume);

    struct {
      DWORD words[5];
    } small;
    DWORD returned = 9;
    EXPECT_FALSE(DeviceIoControl(device.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &small,
                                 sizeof small, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(returned, 0u);
    EXPECT_FALSE(send_control(device.get(), 0x00070004)); // a control code the layer lacks
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  }
}

TEST(SimulatedMachine, BuildsTheStorageDescriptor) {
  TestMachine machine(machine_file("two-disks.cfg"));
  struct Case {
    const char* path;
    const char* vendor;
    const char* product;
    const char* revision;
    const char* serial;
    BOOLEAN removable;
    STORAGE_BUS_TYPE bus;
  };
  const Case cases[] = {
      {disk0, "ATA     ", "SIM DISK 64M", "1.0", "3132333435363738", 0, BusTypeSata},
      {disk1, nullptr, "USB STICK", "2.0", "USB-0001", 1, BusTypeUsb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Win32Handle device = Win32Handle::open(c.path);
    ASSERT_TRUE(device.valid());
    std::vector<BYTE> buffer;
    DWORD returned = 0;
    ASSERT_TRUE(query_descriptor(device.get(), buffer, returned));
    STORAGE_DEVICE_DESCRIPTOR record;
    std::memcpy(&record, buffer.data(), sizeof record);
    EXPECT_EQ(record.Version, 40u);
    EXPECT_EQ(record.Size, returned);
    EXPECT_EQ(buffer[returned], 0xA5); // nothing written past the descriptor
    EXPECT_EQ(record.RemovableMedia, c.removable);
    EXPECT_EQ(record.BusType, c.bus);
    EXPECT_EQ(record.RawPropertiesLength, 0u);
    auto text = [&](DWORD offset) {
      return offset == 0 ? std::string("(none)")
                         : std::string(reinterpret_cast<const char*>(buffer.data()) + offset);
    };
    EXPECT_EQ(text(record.VendorIdOffset), c.vendor != nullptr ? c.vendor : "(none)");
    EXPECT_EQ(text(record.ProductIdOffset), c.product);
    EXPECT_EQ(text(record.ProductRevisionOffset), c.revision);
    EXPECT_EQ(text(record.SerialNumberOffset), c.serial);
    for (DWORD offset : {record.VendorIdOffset, record.ProductIdOffset,
                         record.ProductRevisionOffset, record.SerialNumberOffset})
      if (offset != 0) {
        EXPECT_GE(offset, sizeof record);
      }

    // A short output gets the first bytes, Size among them.
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    DWORD header[2] = {0, 0};
    ASSERT_TRUE(DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                header, sizeof header, &returned, nullptr));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(header[1], record.Size);
    EXPECT_FALSE(DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                 header, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    query.QueryType = PropertyExistsQuery;
    EXPECT_TRUE(DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                nullptr, 0, &returned, nullptr));
    query.QueryType = PropertyStandardQuery;
    query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(1); // the adapter's property
    EXPECT_FALSE(DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                 buffer.data(), 1024, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(DeviceIoControl(device.get(), IOCTL_STORAGE_QUERY_PROPERTY, nullptr, 0,
                                 buffer.data(), 1024, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(SimulatedMachine, WalksTheVolumes) {
  TestMachine machine(machine_file("two-disks.cfg"));
  char name[MAX_PATH];
  std::vector<std::string> names;
  HANDLE walk = FindFirstVolumeA(name, sizeof name);
  ASSERT_NE(walk, INVALID_HANDLE_VALUE);
  names.push_back(name);
  // A buffer too small fails without moving on.
  EXPECT_FALSE(FindNextVolumeA(walk, name, 20));
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  while (FindNextVolumeA(walk, name, sizeof name))
    names.push_back(name);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(1)));
  EXPECT_TRUE(FindVolumeClose(walk));
  EXPECT_FALSE(FindNextVolumeA(walk, name, sizeof name));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const std::vector<std::string> expected = {
      R"(\\?\Volume{11111111-0000-4000-8000-000000000001}\)",
      R"(\\?\Volume{11111111-0000-4000-8000-000000000002}\)",
      R"(\\?\Volume{11111111-0000-4000-8000-000000000003}\)",
      R"(\\?\Volume{11111111-0000-4000-8000-000000000004}\)",
  };
  EXPECT_EQ(names, expected);

  EXPECT_EQ(FindFirstVolumeA(name, 10), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST(SimulatedMachine, WalkListsNamesAsTheMachineGivesThem) {
  TestMachine machine(machine_file("failures.cfg"));
  char name[MAX_PATH];
  std::vector<std::string> names;
  HANDLE walk = FindFirstVolumeA(name, sizeof name);
  ASSERT_NE(walk, INVALID_HANDLE_VALUE);
  do
    names.push_back(name);
  while (FindNextVolumeA(walk, name, sizeof name));
  FindVolumeClose(walk);
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[3], R"(\\?\Volume{22222222-0000-4000-8000-000000000004})");
  EXPECT_EQ(names[4], R"(\\?\)");
}

// The volumes of one drive: the walk's names of those with an extent on it, in the walk's order
// and as the walk gives them (a volume over two disks is each one's), for the drive's handle
// alone; a volume handle, a buffer too small and a failure switch are refused.
TEST(SimulatedMachine, ListsTheVolumesOfOneDrive) {
  // And a drive that is set to fail the call.
  std::string text = machine_file("failures.cfg");
  const std::string last = R"({ "number": 7, "size": 1000000 })";
  text.replace(text.find(last), last.size(),
               last + R"(, { "number": 8, "size": 4194304, "fail": ["IOCTL_DISK_VOLUME_NAMES"] })");
  TestMachine machine(text);
  const auto listed = [](const char* path, std::string& list, DWORD& error) {
    Win32Handle device = Win32Handle::open(path, 0);
    char names[512];
    DWORD returned = 0;
    const bool told = DeviceIoControl(device.get(), IOCTL_DISK_VOLUME_NAMES, nullptr, 0, names,
                                      sizeof names, &returned, nullptr);
    error = told ? 0 : GetLastError();
    list = told ? std::string(names, returned) : std::string();
    return told;
  };
  const std::string v = R"(\\?\Volume{22222222-0000-4000-8000-00000000000)";
  const struct {
    const char* path;
    std::string list; // each name and its NUL, then a NUL
    DWORD error;
  } cases[] = {
      {R"(\\.\PhysicalDrive0)", v + "1}\\" + std::string(1, '\0') + '\0', 0},
      {R"(\\.\PhysicalDrive1)", v + "1}\\" + '\0' + v + "2}\\" + '\0' + '\0', 0},
      {R"(\\.\PhysicalDrive6)",
       v + "3}\\" + '\0' + v + "4}" + '\0' + R"(\\?\)" + '\0' + v + "6}\\" + '\0' + '\0', 0},
      {R"(\\.\PhysicalDrive2)", std::string(2, '\0'), 0},
      {R"(\\.\L:)", "", ERROR_INVALID_FUNCTION},
      {R"(\\.\PhysicalDrive8)", "", ERROR_INVALID_FUNCTION},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string list;
    DWORD error = 0;
    EXPECT_EQ(listed(c.path, list, error), c.error == 0);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(list, c.list);
  }
  // Every volume of the walk is some drive's.
  char name[MAX_PATH];
  HANDLE walk = FindFirstVolumeA(name, sizeof name);
  ASSERT_NE(walk, INVALID_HANDLE_VALUE);
  std::string all;
  do
    all += std::string(name) + '\0';
  while (FindNextVolumeA(walk, name, sizeof name));
  FindVolumeClose(walk);
  std::string drives;
  for (const char* path : {R"(\\.\PhysicalDrive1)", R"(\\.\PhysicalDrive6)"}) {
    std::string list;
    DWORD error = 0;
    ASSERT_TRUE(listed(path, list, error));
    drives += list.substr(0, list.size() - 1);
  }
  EXPECT_EQ(drives, all);

  Win32Handle drive = Win32Handle::open(R"(\\.\PhysicalDrive6)", 0);
  char small[16];
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(drive.get(), IOCTL_DISK_VOLUME_NAMES, nullptr, 0, small,
                               sizeof small, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(returned, cases[2].list.size()) << "what it needs";
}

TEST(SimulatedMachine, TellsVolumeInformation) {
  TestMachine machine(machine_file("two-disks.cfg"));
  struct Case {
    const char* root;
    DWORD error;
    const char* label = "";
    const char* fileSystem = "";
    DWORD serial = 0;
  };
  const Case cases[] = {
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000001}\)", 0, "DATA", "NTFS", 305419896},
      {R"(E:\)", 0, "DATA", "NTFS", 305419896},
      {R"(\\.\D:\)", 0, "", "FAT32", 0},
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000004}\)", 0, "STICK", "exFAT", 0},
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000003}\)", ERROR_UNRECOGNIZED_VOLUME},
      {R"(\\?\Volume{11111111-0000-4000-8000-000000000003})", ERROR_INVALID_NAME},
      {R"(F:\)", ERROR_PATH_NOT_FOUND},
      {R"(A:\)", ERROR_NOT_READY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.root);
    char label[261] = "x", fileSystem[261] = "x";
    DWORD serial = 7, component = 0, flags = 9;
    const BOOL ok = GetVolumeInformationA(c.root, label, sizeof label, &serial, &component, &flags,
                                          fileSystem, sizeof fileSystem);
    EXPECT_EQ(ok != FALSE, c.error == 0);
    if (!ok) {
      EXPECT_EQ(GetLastError(), c.error);
      continue;
    }
    EXPECT_STREQ(label, c.label);
    EXPECT_STREQ(fileSystem, c.fileSystem);
    EXPECT_EQ(serial, c.serial);
    EXPECT_EQ(component, 255u);
  }
  char small[4];
  EXPECT_FALSE(
      GetVolumeInformationA(R"(E:\)", small, sizeof small, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(GetVolumeInformationA(R"(E:\)", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
}

TEST(SimulatedMachine, FailureSwitches) {
  TestMachine machine(machine_file("failures.cfg"));
  struct Case {
    const char* path;
    DWORD code; // a control code, or 0 for opening, 1 for flushing
    DWORD error;
  };
  const Case cases[] = {
      {R"(\\.\PhysicalDrive0)", IOCTL_DISK_GET_PARTITION_INFO, ERROR_INVALID_FUNCTION},
      {R"(\\.\PhysicalDrive0)", IOCTL_DISK_GET_PARTITION_INFO_EX, ERROR_INVALID_FUNCTION},
      {R"(\\.\PhysicalDrive0)", IOCTL_DISK_GET_DRIVE_GEOMETRY, 0},
      {R"(\\.\PhysicalDrive1)", IOCTL_STORAGE_QUERY_PROPERTY, ERROR_NOT_SUPPORTED},
      {R"(\\.\PhysicalDrive4)", 0, ERROR_ACCESS_DENIED},
      {R"(\\.\PhysicalDrive5)", IOCTL_DISK_GET_DRIVE_GEOMETRY, ERROR_INVALID_FUNCTION},
      {R"(\\.\PhysicalDrive5)", 1, ERROR_WRITE_FAULT},
      {R"(\\.\PhysicalDrive6)", IOCTL_DISK_GET_PARTITION_INFO, ERROR_INVALID_FUNCTION},
      {R"(\\.\PhysicalDrive6)", IOCTL_DISK_GET_PARTITION_INFO_EX, 0},
      {R"(\\.\S:)", IOCTL_STORAGE_GET_DEVICE_NUMBER, ERROR_INVALID_FUNCTION},
      {R"(\\.\S:)", IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, ERROR_MORE_DATA},
      {R"(\\.\L:)", FSCTL_LOCK_VOLUME, ERROR_ACCESS_DENIED},
      {R"(\\.\L:)", FSCTL_DISMOUNT_VOLUME, ERROR_INVALID_FUNCTION},
      {R"(\\.\L:)", IOCTL_STORAGE_GET_DEVICE_NUMBER, 0},
      {R"(\\.\N:)", IOCTL_STORAGE_GET_DEVICE_NUMBER, ERROR_INVALID_FUNCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.code));
    Win32Handle device = Win32Handle::open(c.path, GENERIC_READ | GENERIC_WRITE);
    if (c.code == 0) {
      EXPECT_FALSE(device.valid());
      EXPECT_EQ(GetLastError(), c.error);
      continue;
    }
    ASSERT_TRUE(device.valid());
    BYTE out[1024];
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    DWORD returned = 0;
    const bool needsSpace = c.code != FSCTL_LOCK_VOLUME && c.code != FSCTL_DISMOUNT_VOLUME;
    const DWORD outSize = c.code == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
                              ? DWORD(sizeof(VOLUME_DISK_EXTENTS))
                              : DWORD(sizeof out);
    const BOOL ok = c.code == 1 ? FlushFileBuffers(device.get())
                                : DeviceIoControl(device.get(), c.code, &query, sizeof query,
                                                  needsSpace ? out : nullptr,
                                                  needsSpace ? outSize : 0, &returned, nullptr);
    EXPECT_EQ(ok != FALSE, c.error == 0);
    if (!ok) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }

  // The geometry that the machine file gives, and the extents of the volume over two disks
  // once the output has room for both.
  Win32Handle geometryOnly = Win32Handle::open(R"(\\.\PhysicalDrive0)");
  DISK_GEOMETRY geometry;
  ASSERT_TRUE(query_record(geometryOnly.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, geometry));
  EXPECT_EQ(geometry.Cylinders.QuadPart, 100);
  EXPECT_EQ(geometry.TracksPerCylinder, 4u);
  EXPECT_EQ(geometry.SectorsPerTrack, 8u);
  Win32Handle spanning = Win32Handle::open(R"(\\.\S:)");
  BYTE room[sizeof(VOLUME_DISK_EXTENTS) + sizeof(DISK_EXTENT)];
  VOLUME_DISK_EXTENTS header;
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(spanning.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                               room, sizeof(VOLUME_DISK_EXTENTS), &returned, nullptr));
  std::memcpy(&header, room, sizeof header);
  EXPECT_EQ(header.NumberOfDiskExtents, 2u);
  ASSERT_TRUE(DeviceIoControl(spanning.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                              room, sizeof room, &returned, nullptr));
  EXPECT_EQ(returned, sizeof room);
  DISK_EXTENT second;
  std::memcpy(&second, room + sizeof(VOLUME_DISK_EXTENTS), sizeof second);
  EXPECT_EQ(second.DiskNumber, 1u);
  EXPECT_EQ(second.StartingOffset.QuadPart, 1048576);

  // The descriptor bytes that the machine file gives, as they stand.
  Win32Handle raw = Win32Handle::open(R"(\\.\PhysicalDrive3)");
  std::vector<BYTE> buffer;
  ASSERT_TRUE(query_descriptor(raw.get(), buffer, returned));
  EXPECT_EQ(returned, 9u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 9),
            std::string("\x28\x00\x00\x00\x4c\x04\x00\x00\xa5", 9));

  char label[261];
  EXPECT_FALSE(
      GetVolumeInformationA(R"(L:\)", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_UNRECOGNIZED_VOLUME);
  EXPECT_FALSE(DeleteVolumeMountPointA(R"(\\.\L:\)"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  TestMachine noWalk(machine_file("no-walk.cfg"));
  char name[MAX_PATH];
  EXPECT_EQ(FindFirstVolumeA(name, sizeof name), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_EQ(GetLogicalDrives(), 0u);
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

TEST(SimulatedMachine, BadSectorsFailTheirTransfers) {
  TestMachine machine(machine_file("failures.cfg"));
  Win32Handle disk = Win32Handle::open(R"(\\.\PhysicalDrive1)", GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(disk.valid());
  std::string sectors(3 * 512, '\0');
  EXPECT_FALSE(read_at(disk.get(), 15 * 512, sectors));
  EXPECT_EQ(GetLastError(), ERROR_CRC);
  std::string one(512, '\0');
  EXPECT_FALSE(read_at(disk.get(), 17 * 512, one));
  EXPECT_EQ(GetLastError(), ERROR_CRC);
  EXPECT_TRUE(read_at(disk.get(), 18 * 512, one));
  EXPECT_FALSE(write_at(disk.get(), 31 * 512, 1024, 'w'));
  EXPECT_EQ(GetLastError(), ERROR_WRITE_FAULT);
  EXPECT_TRUE(write_at(disk.get(), 33 * 512, 512, 'w'));
  EXPECT_EQ(first_difference(image_bytes(machine.image("disk1.img"), 31 * 512, 1024),
                             std::string(1024, '\0')),
            "");
}

// Bad-sector ranges are compared in sectors: one that runs to the largest count covers the rest
// of the disk, and one far past the disk's end, whose byte offset would wrap around to its
// start, touches nothing.
TEST(SimulatedMachine, BadSectorRangesNeverWrap) {
  struct Case {
    const char* ranges;
    std::uint64_t sector;
    bool fails;
  };
  const Case cases[] = {
      {"[[100,9223372036854775807]]", 99, false},
      {"[[100,9223372036854775807]]", 100, true},
      {"[[100,9223372036854775807]]", 127, true},
      {"[[9223372036854775807,9223372036854775807]]", 127, false},
      {"[[36028797018963968,1]]", 0, false}, // 2^55 sectors of 512 bytes are 2^64 bytes
      {"[[36028797018963968,1]]", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ranges) + " sector " + std::to_string(c.sector));
    for (const char* kind : {"unwritable", "unreadable"}) {
      SCOPED_TRACE(kind);
      TestMachine machine(std::string(R"("drives": [ { "number": 0, "size": 65536, ")") + kind +
                          "\": " + c.ranges + " } ]");
      Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
      ASSERT_TRUE(disk.valid());
      std::string sector(512, '\0');
      const bool ok = std::string(kind) == "unwritable"
                          ? write_at(disk.get(), c.sector * 512, 512, 'w')
                          : read_at(disk.get(), c.sector * 512, sector);
      EXPECT_EQ(!c.fails, ok);
    }
  }
}

// A drive with a queue of its own: the overlapped transfers started together are served as one
// request when they lie side by side, and that request fails whole for one bad sector; a range
// that fails once fails the request that meets it, then works. Each request is written down
// with its times and takes the drive's request time.
TEST(SimulatedMachine, AQueuedDriveMergesRequestsAndFailsThemWhole) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 65536, "unwritable": [[20, 1]],
      "unwritable once": [[40, 1]], "unreadable once": [[60, 1]], "merged requests": true,
      "request time": 2, "request log": "requests.txt" } ])");
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
  ASSERT_TRUE(disk.valid());
  struct Pending {
    OVERLAPPED record;
    std::string data;
  };
  // Starts a one-sector transfer for each of `sectors`, then waits for each; true for each that
  // ended well.
  const auto transfers = [&](bool write, std::vector<std::uint64_t> sectors) {
    std::vector<Pending> pending(sectors.size());
    for (std::size_t i = 0; i < sectors.size(); ++i) {
      std::memset(&pending[i].record, 0, sizeof pending[i].record);
      pending[i].record.Offset = static_cast<DWORD>(sectors[i] * 512);
      pending[i].data.assign(512, write ? static_cast<char>('a' + i) : '\0');
      const BOOL ended =
          write ? WriteFile(disk.get(), pending[i].data.data(), 512, nullptr, &pending[i].record)
                : ReadFile(disk.get(), pending[i].data.data(), 512, nullptr, &pending[i].record);
      EXPECT_FALSE(ended);
      EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
    std::string outcome;
    for (Pending& p : pending) {
      DWORD count = 0;
      const bool ok = GetOverlappedResult(disk.get(), &p.record, &count, TRUE);
      outcome += ok && count == 512 ? '+' : '-';
      if (!ok) {
        EXPECT_EQ(GetLastError(), write ? ERROR_WRITE_FAULT : ERROR_CRC);
      }
    }
    return outcome;
  };
  EXPECT_EQ(transfers(true, {16, 17, 18, 19, 20}), "-----");
  EXPECT_EQ(transfers(true, {16}), "+");
  EXPECT_EQ(transfers(true, {38, 39, 40}), "---");
  EXPECT_EQ(transfers(true, {40, 39, 38}), "+++");
  EXPECT_EQ(transfers(false, {60}), "-");
  EXPECT_EQ(transfers(false, {60}), "+");
  EXPECT_EQ(transfers(true, {80, 90}), "++");
  disk.reset();

  const std::string image = machine.image("disk0.img");
  EXPECT_EQ(image_bytes(image, 17 * 512, 3 * 512), std::string(3 * 512, '\0'));
  EXPECT_EQ(image_bytes(image, 38 * 512, 3 * 512),
            std::string(512, 'c') + std::string(512, 'b') + std::string(512, 'a'));
  std::ifstream log(machine.image("requests.txt"));
  std::vector<std::string> requests;
  long long began = 0, ended = 0;
  for (std::string kind, sector, count, outcome;
       log >> began >> ended >> kind >> sector >> count >> outcome;) {
    requests.push_back(kind + " " + sector + "+" + count + " " + outcome);
    EXPECT_GE(ended - began, 2000000) << requests.back();
  }
  EXPECT_EQ(requests,
            (std::vector<std::string>{"write 16+5 failed", "write 16+1 ok", "write 38+3 failed",
                                      "write 38+3 ok", "read 60+1 failed", "read 60+1 ok",
                                      "write 80+1 ok", "write 90+1 ok"}));
}

TEST(SimulatedMachine, ReadsAndWritesTheImages) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(disk.valid());
  // The image is made at the drive's size, sparse.
  struct stat status;
  ASSERT_EQ(stat(machine.image("disk0.img").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 67108864);
  EXPECT_LT(status.st_blocks * 512, 1048576);

  ASSERT_TRUE(write_at(disk.get(), 60 * 1048576, 1024, 'a'));
  EXPECT_EQ(first_difference(image_bytes(machine.image("disk0.img"), 60 * 1048576, 1024),
                             std::string(1024, 'a')),
            "");
  Win32Handle reader = Win32Handle::open(disk0);
  std::string back(1024, '\0');
  ASSERT_TRUE(read_at(reader.get(), 60 * 1048576, back));
  EXPECT_EQ(back, std::string(1024, 'a'));

  // A volume's offsets count from its start on the disk.
  Win32Handle raw = Win32Handle::open(volumeRaw, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(write_at(raw.get(), 4096, 512, 'r'));
  EXPECT_EQ(first_difference(image_bytes(machine.image("disk0.img"), 34603008 + 4096, 512),
                             std::string(512, 'r')),
            "");

  // A volume over two disks: a transfer across its first extent's end goes on on the second
  // disk. It is mounted, so it must be locked first.
  TestMachine spanningMachine(machine_file("failures.cfg"));
  Win32Handle spanning = Win32Handle::open(R"(\\.\S:)", GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(send_control(spanning.get(), FSCTL_LOCK_VOLUME));
  ASSERT_TRUE(write_at(spanning.get(), 1048576 - 1024, 2048, 's'));
  EXPECT_EQ(first_difference(image_bytes(spanningMachine.image("disk0.img"), 2097152 - 1024, 1024),
                             std::string(1024, 's')),
            "");
  EXPECT_EQ(first_difference(image_bytes(spanningMachine.image("disk1.img"), 1048576, 1024),
                             std::string(1024, 's')),
            "");
  std::string across(2048, '\0');
  ASSERT_TRUE(read_at(spanning.get(), 1048576 - 1024, across));
  EXPECT_EQ(across, std::string(2048, 's'));
}

TEST(SimulatedMachine, RefusesWritesIntoMountedVolumes) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(disk.valid());
  struct Case {
    const char* what;
    std::uint64_t offset;
    std::size_t length;
    bool allowed;
  };
  const Case cases[] = {
      {"before the volumes", 0, 4096, true},
      {"into E:", 1048576, 512, false},
      {"across the start of E:", 1048576 - 512, 1024, false},
      {"into D:", 17825792 + 8192, 512, false},
      {"into the volume without a file system", 34603008, 4096, true},
      {"after the volumes", 50 * 1048576, 512, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(write_at(disk.get(), c.offset, c.length, 'w'), c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
      EXPECT_EQ(first_difference(image_bytes(machine.image("disk0.img"), c.offset, c.length),
                                 std::string(c.length, '\0')),
                "");
    }
  }

  // Locked by this process: writable through the disk and through the volume itself, until
  // the lock ends; a second lock of the same volume is refused meanwhile.
  {
    Win32Handle e = Win32Handle::open(R"(\\.\E:)", GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(write_at(e.get(), 0, 512, 'v'));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    Win32Handle queries = Win32Handle::open(R"(\\.\E:)", 0);
    EXPECT_FALSE(send_control(queries.get(), FSCTL_LOCK_VOLUME));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(send_control(e.get(), FSCTL_LOCK_VOLUME));
    EXPECT_TRUE(send_control(e.get(), FSCTL_LOCK_VOLUME));
    Win32Handle other = Win32Handle::open(volumeE, GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(send_control(other.get(), FSCTL_LOCK_VOLUME));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(write_at(disk.get(), 1048576, 512, 'l'));
    EXPECT_TRUE(write_at(e.get(), 512, 512, 'v'));
    EXPECT_EQ(first_difference(image_bytes(machine.image("disk0.img"), 1048576, 1024),
                               std::string(512, 'l') + std::string(512, 'v')),
              "");
  }
  EXPECT_FALSE(write_at(disk.get(), 1048576, 512, 'l'));

  // Dismounted: writable while the dismounting handle is open; then mounted again.
  {
    Win32Handle d = Win32Handle::open(R"(\\.\D:)", GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(send_control(d.get(), FSCTL_DISMOUNT_VOLUME));
    EXPECT_TRUE(write_at(disk.get(), 17825792, 512, 'd'));
  }
  EXPECT_FALSE(write_at(disk.get(), 17825792, 512, 'd'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(SimulatedMachine, DriveLettersCanBeRemoved) {
  TestMachine machine(machine_file("two-disks.cfg"));
  const DWORD all = GetLogicalDrives();
  EXPECT_EQ(all, (1u << 0) | (1u << 3) | (1u << 4) | (1u << 6) | (1u << 7)); // A D E G H
  EXPECT_TRUE(DeleteVolumeMountPointA(R"(\\.\E:\)"));
  EXPECT_TRUE(DeleteVolumeMountPointA(R"(g:\)"));
  EXPECT_EQ(GetLogicalDrives(), all & ~((1u << 4) | (1u << 6)));
  EXPECT_FALSE(Win32Handle::open(R"(\\.\E:)").valid());
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Win32Handle::open(R"(\\.\H:)").valid());
  EXPECT_TRUE(Win32Handle::open(volumeE).valid()); // the volume is still there
  EXPECT_FALSE(DeleteVolumeMountPointA(R"(\\.\E:\)"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteVolumeMountPointA(R"(\\.\D:)"));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(DeleteVolumeMountPointA(R"(A:\)"));
  EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
}

TEST(SimulatedMachine, ProcessesShareTheMachine) {
  TestMachine machine(machine_file("two-disks.cfg"));
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Removes E:, locks D: and holds the lock until told to end.
    HANDLE d = CreateFileA(R"(\\.\D:)", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    DWORD returned = 0;
    const bool ok =
        DeleteVolumeMountPointA(R"(\\.\E:\)") && d != INVALID_HANDLE_VALUE &&
        DeviceIoControl(d, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    char word = ok ? '1' : '0';
    (void)!write(toParent[1], &word, 1);
    (void)!read(toChild[0], &word, 1);
    _exit(0);
  }
  char word = 0;
  ASSERT_EQ(read(toParent[0], &word, 1), 1);
  ASSERT_EQ(word, '1');
  EXPECT_EQ(GetLogicalDrives() & (1u << 4), 0u);
  Win32Handle d = Win32Handle::open(R"(\\.\D:)", GENERIC_READ | GENERIC_WRITE);
  EXPECT_FALSE(send_control(d.get(), FSCTL_LOCK_VOLUME));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(send_control(d.get(), FSCTL_DISMOUNT_VOLUME));
  EXPECT_FALSE(write_at(disk.get(), 17825792, 512, 'x')); // another process holds it
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  // The lock ended with its process; the removed letter stays removed.
  EXPECT_TRUE(send_control(d.get(), FSCTL_LOCK_VOLUME));
  EXPECT_TRUE(write_at(disk.get(), 17825792, 512, 'x'));
  EXPECT_EQ(GetLogicalDrives() & (1u << 4), 0u);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
    close(fd);
}

namespace {

// The identity GUID of the device at `path`, opened afresh, as its 16 bytes; empty when the
// device cannot be opened or does not tell.
std::string device_guid(const std::string& path) {
  Win32Handle device = Win32Handle::open(path, 0);
  STORAGE_DEVICE_NUMBER_EX number;
  if (!device.valid() || !query_record(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER_EX, number))
    return std::string();
  return std::string(reinterpret_cast<const char*>(&number.DeviceGuid), sizeof number.DeviceGuid);
}

// Two disks alike in everything but their images, and a volume on the first.
std::string twins_machine(const std::string& firstImage) {
  return R"("drives": [
    { "number": 0, "size": 1048576, "product": "TWIN", "serial": "T-1", "image": ")" +
         firstImage + R"(" },
    { "number": 1, "size": 1048576, "product": "TWIN", "serial": "T-1", "image": "b.img" } ],
    "volumes": [ { "guid": "22222222-0000-4000-8000-000000000001", "disk": 0, "offset": 4096,
                   "length": 65536, "letters": "E" } ])";
}

} // namespace

TEST(SimulatedMachine, NamesEachDiskByItsImageNotByItsNumber) {
  TestMachine machine(twins_machine("a.img"));
  const std::string first = device_guid(disk0);
  ASSERT_EQ(first.size(), 16u);
  EXPECT_EQ(device_guid(disk0), first) << "the same disk, opened again";
  EXPECT_NE(device_guid(disk1), first) << "its twin";
  EXPECT_EQ(device_guid(R"(\\.\E:)"), first) << "a volume is named by its disk";

  Win32Handle device = Win32Handle::open(disk0, 0);
  STORAGE_DEVICE_NUMBER_EX number;
  ASSERT_TRUE(query_record(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER_EX, number));
  EXPECT_EQ(number.Version, sizeof number);
  EXPECT_EQ(number.Size, sizeof number);
  EXPECT_EQ(number.DeviceType, FILE_DEVICE_DISK);
  EXPECT_EQ(number.DeviceNumber, 0u);
  EXPECT_EQ(number.PartitionNumber, 0u);

  // Another image at number 0: another disk, while the handle opened before keeps its own.
  std::ofstream(machine.path(), std::ios::binary) << twins_machine("c.img");
  EXPECT_NE(device_guid(disk0), first);
  STORAGE_DEVICE_NUMBER_EX before;
  ASSERT_TRUE(query_record(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER_EX, before));
  EXPECT_EQ(std::memcmp(&before.DeviceGuid, first.data(), first.size()), 0);
  // The first image back at number 0 is the first disk again.
  std::ofstream(machine.path(), std::ios::binary) << twins_machine("a.img");
  EXPECT_EQ(device_guid(disk0), first);
}

TEST(SimulatedMachine, SaysWhatItsFileDescribesOfTheSystemBeneath) {
  const std::string longFile = "/images/" + std::string(300, 'x') + "/end.img";
  TestMachine machine(R"("drives": [
    { "number": 0, "size": 1048576, "system name": "/dev/sdb",
      "model stand-in": ["backing file", ")" +
                      longFile + R"("],
      "serial stand-in": ["identifier", "naa.5000c500a1b2c3d4"] },
    { "number": 1, "size": 1048576, "product": "PLAIN" } ],
    "volumes": [
      { "guid": "33333333-0000-4000-8000-000000000001", "disk": 0, "length": 65536,
        "letters": "F", "mount points": ["/media/stick", "/mnt/two words"] },
      { "guid": "33333333-0000-4000-8000-000000000002", "disk": 1, "length": 65536 } ])");

  char names[64];
  std::memset(names, 'z', sizeof names);
  EXPECT_EQ(QueryDosDeviceA("PhysicalDrive0", names, sizeof names), 10u);
  EXPECT_EQ(std::string(names, 10), std::string("/dev/sdb\0\0", 10));
  const struct {
    const char* name;
    DWORD size;
    DWORD error;
  } refused[] = {
      {"PhysicalDrive1", sizeof names, ERROR_FILE_NOT_FOUND}, // described without one
      {"PhysicalDrive7", sizeof names, ERROR_FILE_NOT_FOUND}, // no such drive
      {"F:", sizeof names, ERROR_FILE_NOT_FOUND},
      {"PhysicalDrive0", 9, ERROR_INSUFFICIENT_BUFFER},
      {nullptr, sizeof names, ERROR_NOT_SUPPORTED},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
    SetLastError(0);
    EXPECT_EQ(QueryDosDeviceA(c.name, names, c.size), 0u);
    EXPECT_EQ(GetLastError(), c.error);
  }

  const struct {
    const char* volume;
    std::string list;
  } volumes[] = {
      {R"(\\?\Volume{33333333-0000-4000-8000-000000000001}\)",
       std::string("F:\\\0/media/stick\0/mnt/two words\0\0", 33)},
      {R"(\\?\Volume{33333333-0000-4000-8000-000000000002}\)", std::string(2, '\0')},
  };
  for (const auto& c : volumes) {
    SCOPED_TRACE(c.volume);
    char paths[64];
    DWORD returned = 0;
    ASSERT_TRUE(GetVolumePathNamesForVolumeNameA(c.volume, paths, sizeof paths, &returned));
    EXPECT_EQ(std::string(paths, returned), c.list);
    EXPECT_FALSE(GetVolumePathNamesForVolumeNameA(c.volume, paths, 1, &returned));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(returned, c.list.size()) << "what it needs";
  }
  DWORD returned = 0;
  char paths[64];
  EXPECT_FALSE(GetVolumePathNamesForVolumeNameA(R"(\\.\F:)", paths, sizeof paths, &returned));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_FALSE(GetVolumePathNamesForVolumeNameA(
      R"(\\?\Volume{33333333-0000-4000-8000-00000000000f}\)", paths, sizeof paths, &returned));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  Win32Handle device = Win32Handle::open(disk0, 0);
  DISK_STAND_INS standIns;
  ASSERT_TRUE(query_record(device.get(), IOCTL_DISK_STAND_INS, standIns));
  EXPECT_EQ(standIns.Model.Kind, StandInBackingFile);
  const std::string kept = standIns.Model.Text;
  EXPECT_EQ(kept.size(), MAX_PATH - 1u);
  EXPECT_EQ(kept.substr(0, 3), "...") << "a text too long for the record keeps its end";
  EXPECT_EQ(kept.substr(kept.size() - 8), "/end.img");
  EXPECT_EQ(standIns.Serial.Kind, StandInIdentifier);
  EXPECT_STREQ(standIns.Serial.Text, "naa.5000c500a1b2c3d4");
  Win32Handle plain = Win32Handle::open(disk1, 0);
  ASSERT_TRUE(query_record(plain.get(), IOCTL_DISK_STAND_INS, standIns));
  EXPECT_EQ(standIns.Model.Kind, StandInNone);
  EXPECT_STREQ(standIns.Model.Text, "");
  Win32Handle volume = Win32Handle::open(R"(\\.\F:)", 0);
  EXPECT_FALSE(query_record(volume.get(), IOCTL_DISK_STAND_INS, standIns));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION) << "drives only";
}

TEST(SimulatedMachine, RefusesBadMachineFiles) {
  struct Case {
    const char* text;
    const char* complaint;
  };
  const Case cases[] = {
      {"{", "is not in the text form of values"},
      {R"("drives": [ { "size": 1 } ])", "a drive has no \"number\""},
      {R"("drives": [ { "number": 0, "size": 1, "colour": "red" } ])",
       "drive 0 has the unknown member \"colour\""},
      {R"("drives": [ { "number": 0, "size": 1 }, { "number": 0, "size": 2 } ])",
       "drive 0 is given twice"},
      {R"("drives": [ { "number": 0, "size": 1, "fail": ["ReadFileEx"] } ])",
       "names \"ReadFileEx\", which cannot fail there"},
      {R"("drives": [ { "number": 0, "size": 1, "fail": ["GetVolumeInformationA"] } ])",
       "which cannot fail there"},
      {R"("drives": [ { "number": 0, "size": 1, "bus": "CARRIER PIGEON" } ])", "names no bus type"},
      {R"("drives": [ { "number": 0, "size": 4096 } ],
          "volumes": [ { "disk": 3, "length": 512 } ])",
       "lies on the disk 3, which is not described before it"},
      {R"("drives": [ { "number": 0, "size": 4096 } ],
          "volumes": [ { "disk": 0, "offset": 2048, "length": 4096 } ])",
       "passes the end of its disk"},
      {R"("drives": [ { "number": 0, "size": 4096 } ],
          "volumes": [ { "disk": 0, "length": 512, "letters": "D" },
                       { "disk": 0, "offset": 512, "length": 512, "letters": "d" } ])",
       "the letter D is given twice"},
      {R"("drives": [ { "number": 0, "size": 4096 } ],
          "volumes": [ { "guid": "not-a-guid", "disk": 0, "length": 512 } ])",
       "\"guid\" is not of the form"},
      {R"("drives": [ { "number": -1, "size": 1 } ])", "is not a number of 0 or more"},
      {R"("drives": [ { "number": 0, "size": 1 } ], "printer": 1)",
       "the machine has the unknown member \"printer\""},
      {R"("drives": [ { "number": 0, "size": 1, "model stand-in": ["colour", "red"] } ])",
       "names no kind of stand-in: colour"},
      {R"("drives": [ { "number": 0, "size": 1, "serial stand-in": "naa.1" } ])",
       "\"serial stand-in\" is not a list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TestMachine machine(c.text);
    LogCapture log;
    // Nothing falls back to the real machine.
    EXPECT_FALSE(Win32Handle::open(disk0).valid());
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(GetLogicalDrives(), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_NE(log.text().find("SimulatedMachine.cpp("), std::string::npos) << log.text();
    EXPECT_NE(log.text().find(c.complaint), std::string::npos) << log.text();
  }
  ScopedEnvironment missing("CVW_MACHINE", std::string("/nonexistent/machine.cfg"));
  LogCapture log;
  EXPECT_EQ(GetLogicalDrives(), 0u);
  EXPECT_NE(log.text().find("/nonexistent/machine.cfg: the machine file cannot be read"),
            std::string::npos)
      << log.text();
}

TEST(SimulatedMachine, SetsTheEnvironmentItDescribesWhenAbsent) {
  ScopedEnvironment absent("CVW_TEST_ABSENT", std::nullopt);
  ScopedEnvironment present("CVW_TEST_PRESENT", std::string("kept"));
  TestMachine machine(R"("drives": [ { "number": 0, "size": 4096 } ],
                         "environment": { "CVW_TEST_ABSENT": "C:", "CVW_TEST_PRESENT": "D:" })");
  EXPECT_TRUE(Win32Handle::open(disk0).valid());
  EXPECT_STREQ(std::getenv("CVW_TEST_ABSENT"), "C:");
  EXPECT_STREQ(std::getenv("CVW_TEST_PRESENT"), "kept");
}

// The sequence in which the raw disk access takes the volumes of a disk that it opens for
// writing: walk the volumes, keep those on the disk, remove a single drive letter, lock and
// dismount; the disk is then writable where its volumes lie, and the other disk is untouched.
TEST(SimulatedMachine, AWholeDiskCanBeTakenFromTheSystem) {
  TestMachine machine(machine_file("two-disks.cfg"));
  Win32Handle disk = Win32Handle::open(disk0, GENERIC_READ | GENERIC_WRITE);
  ASSERT_TRUE(disk.valid());
  std::vector<Win32Handle> locked;
  char name[MAX_PATH];
  HANDLE walk = FindFirstVolumeA(name, sizeof name);
  ASSERT_NE(walk, INVALID_HANDLE_VALUE);
  do {
    std::string path(name);
    ASSERT_EQ(path.back(), '\\');
    path.pop_back();
    Win32Handle volume = Win32Handle::open(path, GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(volume.valid()) << path;
    VOLUME_DISK_EXTENTS extents;
    ASSERT_TRUE(query_record(volume.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, extents));
    if (extents.Extents[0].DiskNumber != 0)
      continue;
    STORAGE_DEVICE_NUMBER number;
    ASSERT_TRUE(query_record(volume.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, number));
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
      Win32Handle lettered = Win32Handle::open(std::string("\\\\.\\") + letter + ":", 0);
      STORAGE_DEVICE_NUMBER other;
      if (lettered.valid() &&
          query_record(lettered.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, other) &&
          other.DeviceNumber == 0 && other.PartitionNumber == number.PartitionNumber) {
        EXPECT_TRUE(DeleteVolumeMountPointA((std::string("\\\\.\\") + letter + ":\\").c_str()));
      }
    }
    EXPECT_TRUE(send_control(volume.get(), FSCTL_LOCK_VOLUME));
    EXPECT_TRUE(send_control(volume.get(), FSCTL_DISMOUNT_VOLUME));
    locked.push_back(std::move(volume));
  } while (FindNextVolumeA(walk, name, sizeof name));
  FindVolumeClose(walk);

  EXPECT_EQ(locked.size(), 3u);
  EXPECT_EQ(GetLogicalDrives(), (1u << 0) | (1u << 6) | (1u << 7)); // A, G and H stay
  EXPECT_TRUE(write_at(disk.get(), 1048576, 4096, 'e'));
  EXPECT_TRUE(write_at(disk.get(), 17825792, 4096, 'd'));
  Win32Handle stick = Win32Handle::open(disk1, GENERIC_READ | GENERIC_WRITE);
  EXPECT_FALSE(write_at(stick.get(), 1048576, 4096, 'g'));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  locked.clear(); // the locks end; the letters stay removed
  EXPECT_FALSE(write_at(disk.get(), 1048576, 4096, 'e'));
  EXPECT_EQ(GetLogicalDrives(), (1u << 0) | (1u << 6) | (1u << 7));
}
