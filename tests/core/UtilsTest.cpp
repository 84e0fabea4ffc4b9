#include "Utils.h"

#include "LogCapture.h"
#include "TestMachine.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

namespace {

const std::string unsupported = "The function is not supported by this device.";

} // namespace

TEST(Utils, DiskSizeFromPartitionOrGeometry) {
  struct Case {
    const char* machine;
    const char* path;
    bool result;
    std::uint64_t size;
    std::uint64_t sectorSize;
    std::string log;
  };
  const std::uint64_t untouched = 777;
  const Case cases[] = {
      {"two-disks.cfg", R"(\\.\PhysicalDrive0)", true, 67108864, 512, ""},
      {"two-disks.cfg", R"(\\.\PhysicalDrive1)", true, 33554432, 4096, ""},
      {"two-disks.cfg", R"(\\.\E:)", true, 16777216, 512, ""},
      {"two-disks.cfg", R"(\\.\H:)", true, 8388608, 4096, ""},
      // Neither partition query answers: 100 x 4 x 8 x 512 from the geometry.
      {"failures.cfg", R"(\\.\PhysicalDrive0)", true, 1638400, 512,
       "Utils.cpp(41): " + unsupported + "\nUtils.cpp(54): " + unsupported + "\n"},
      {"failures.cfg", R"(\\.\PhysicalDrive6)", true, 4194304, 512,
       "Utils.cpp(41): " + unsupported + "\n"},
      {"failures.cfg", R"(\\.\PhysicalDrive2)", false, 8388608, 0, "Utils.cpp(64): 8388608 0\n"},
      {"failures.cfg", R"(\\.\PhysicalDrive7)", false, 1000000, 512,
       "Utils.cpp(64): 1000000 512\n"},
      {"failures.cfg", R"(\\.\PhysicalDrive5)", false, untouched, untouched,
       "Utils.cpp(24): " + unsupported + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.machine) + " " + c.path);
    TestMachine machine(machine_file(c.machine));
    Win32Handle device = Win32Handle::open(c.path, 0);
    ASSERT_TRUE(device.valid());
    std::uint64_t size = untouched, sectorSize = untouched;
    LogCapture log;
    EXPECT_EQ(get_disk_size(device.get(), size, sectorSize), c.result);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(sectorSize, c.sectorSize);
    EXPECT_EQ(log.text(), c.log);
  }

  TestMachine empty(R"("drives": [ { "number": 0, "size": 0 } ])");
  Win32Handle device = Win32Handle::open(R"(\\.\PhysicalDrive0)", 0);
  std::uint64_t size = untouched, sectorSize = untouched;
  LogCapture log;
  EXPECT_FALSE(get_disk_size(device.get(), size, sectorSize));
  EXPECT_EQ(log.text(), "Utils.cpp(64): 0 512\n");
}

TEST(Utils, DismountsVolumes) {
  {
    TestMachine machine(machine_file("two-disks.cfg"));
    LogCapture log;
    Win32Handle e = Win32Handle::open(R"(\\.\E:)", GENERIC_READ | GENERIC_WRITE);
    EXPECT_TRUE(dismount_volume(e.get()));
    EXPECT_TRUE(dismount_volume(std::string(R"(\\.\D:)")));
    EXPECT_EQ(log.text(), "");
    Win32Handle disk = Win32Handle::open(R"(\\.\PhysicalDrive0)", GENERIC_READ | GENERIC_WRITE);
    EXPECT_FALSE(dismount_volume(disk.get())); // a disk is no volume
    EXPECT_EQ(log.text(), "Utils.cpp(104): " + unsupported + "\n");
  }
  TestMachine machine(machine_file("failures.cfg"));
  struct Case {
    const char* path;
    std::string log;
  };
  const Case cases[] = {
      {R"(\\.\L:)", "Utils.cpp(104): " + unsupported + "\nUtils.cpp(84): \\\\.\\L:\n"},
      {R"(\\.\Q:)", "Utils.cpp(80): \\\\.\\Q: The file was not found.\n"},
      {R"(\\.\Z:)", "Utils.cpp(80): \\\\.\\Z: The device is not ready.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    LogCapture log;
    EXPECT_FALSE(dismount_volume(std::string(c.path)));
    EXPECT_EQ(log.text(), c.log);
  }
}
