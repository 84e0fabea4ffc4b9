// The device enumeration on simulated machines: the exact tables each machine gives, the log
// lines of the devices it leaves out, and a descriptor error part way through.
#include "DevicesInfoV1.h"
#include "DrivesMachine.h"
#include "LogCapture.h"
#include "Strings.h"
#include "Win32.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const std::string volume88 = "\\\\?\\Volume{88888888-0000-4000-8000-00000000000";

class Enumeration : public ::testing::Test {
protected:
  LogCapture log;

  bool logged(const std::string& line) const { return log.text().find(line) != std::string::npos; }
};

TEST_F(Enumeration, TwoDisksGiveTheirTablesFirstThenTheVolumesInWalkOrder) {
  TestMachine machine(drives_machine("two-disks.cfg"));
  const HandleWatch handles;
  const std::vector<Table> expected = {
      {{"File", drive_path(0)},
       {"Size", "67108864"},
       {"Sector Size", "512"},
       {"Drive Letters", "DE"},
       {"Model", "ATA     SIM DISK 64M"},
       {"Revision", "1.0"},
       {"Serial", "21436587"},
       {"Removable Media", "0"},
       {"Bus Type", "SATA"},
       {"Identity", "{GUID}"}},
      {{"File", drive_path(1)},
       {"Size", "33554432"},
       {"Sector Size", "4096"},
       {"Drive Letters", "GH"},
       {"Model", "USB STICK"},
       {"Revision", "2.0"},
       {"Serial", "USB-0001"},
       {"Removable Media", "1"},
       {"Bus Type", "USB"},
       {"Identity", "{GUID}"}},
      {{"File", "\\\\.\\E:"},
       {"Size", "16777216"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "1048576"},
       {"Comment", "NTFS - DATA"}},
      {{"File", "\\\\.\\D:"},
       {"Size", "16777216"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "17825792"},
       {"Comment", "FAT32"}},
      {{"File", "\\\\?\\Volume{77777777-0000-4000-8000-000000000003}"},
       {"Size", "8388608"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "34603008"}},
      {{"File", "\\\\?\\Volume{77777777-0000-4000-8000-000000000004}"},
       {"Size", "8388608"},
       {"Sector Size", "4096"},
       {"Parent", drive_path(1)},
       {"Partition Offset", "1048576"},
       {"Comment", "exFAT - STICK"}},
  };
  EXPECT_EQ(enumerate(), expected);

  // Each of the other 30 paths fails to open, with its two lines.
  for (int n = 2; n < 32; ++n) {
    const std::string path = drive_path(n);
    EXPECT_TRUE(logged("DevicesInfoV1.cpp(255): *** " + path + " ***\nDevicesInfo.cpp(112)\n" +
                       "DevicesInfoV1.cpp(260): get_device_info_win32 failed: " + path + "\n"))
        << path;
  }
  EXPECT_FALSE(logged(drive_path(32)));
  EXPECT_EQ(handles.still_open(), 0);
}

TEST_F(Enumeration, LogsEachStepOfADriveAndAVolume) {
  TestMachine machine(drives_machine("two-disks.cfg"));
  enumerate();
  const std::string text = log.text();
  EXPECT_EQ(text.rfind("DevicesInfoV1.cpp(419): dt::get_devices_info_win32_v1()\n", 0), 0u)
      << text.substr(0, 200);
  for (const char* line : {
           "DevicesInfoV1.cpp(250): get_drives()\n",
           "DevicesInfoV1.cpp(255): *** \\\\.\\PhysicalDrive0 ***\n",
           "DevicesInfo.cpp(50): Size: 67108864, Sector Size: 512\n",
           "DevicesInfo.cpp(120): Drive Letters: DE\n",
           "DevicesInfoV1.cpp(386): get_volumes()\n",
           "DevicesInfoV1.cpp(394): *** "
           "\\\\?\\Volume{77777777-0000-4000-8000-000000000001}\\ ***\n",
           "DevicesInfoV1.cpp(270): "
           "get_volume_info(\\\\?\\Volume{77777777-0000-4000-8000-000000000001})\n",
           "DevicesInfoV1.cpp(293): Size: 16777216, Sector Size: 512\n",
           "DevicesInfoV1.cpp(315): NumberOfDiskExtents: 1\n",
           "DevicesInfoV1.cpp(321): Extent 0\n  DiskNumber: 0\n  StartingOffset: 1048576\n"
           "  ExtentLength: 16777216\n",
           "DevicesInfoV1.cpp(329): Parent: \\\\.\\PhysicalDrive0\n",
           "DevicesInfoV1.cpp(352): VolumeNameBuffer: DATA, FileSystemNameBuffer: NTFS\n",
           "DevicesInfoV1.cpp(361): Comment: NTFS - DATA\n",
           "DevicesInfoV1.cpp(377): shortVolumeName: \\\\.\\E:\n",
       })
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(Enumeration, CoversTheVolumeCasesAndAFailedStorageQuery) {
  TestMachine machine(drives_machine("volumes.cfg"));
  const std::vector<Table> expected = {
      {{"File", drive_path(0)},
       {"Size", "67108864"},
       {"Sector Size", "512"},
       {"Drive Letters", "KLM"},
       {"Model", "DISK"},
       {"Revision", ""},
       {"Serial", ""},
       {"Removable Media", "0"},
       {"Bus Type", "SATA"},
       {"Identity", "{GUID}"}},
      // The storage query fails: none of the descriptor's keys.
      {{"File", drive_path(1)},
       {"Size", "16777216"},
       {"Sector Size", "512"},
       {"Drive Letters", "N"},
       {"Identity", "{GUID}"}},
      // Two letters: the long name stays; a label alone is the comment.
      {{"File", volume88 + "1}"},
       {"Size", "1048576"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "1048576"},
       {"Comment", "DATA"}},
      // No letter, and neither file system name nor label: no comment.
      {{"File", volume88 + "2}"},
       {"Size", "1048576"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "2097152"}},
      // Its volume information fails: no comment, but the short name.
      {{"File", "\\\\.\\M:"},
       {"Size", "1048576"},
       {"Sector Size", "512"},
       {"Parent", drive_path(0)},
       {"Partition Offset", "3145728"}},
      {{"File", "\\\\.\\N:"},
       {"Size", "4194304"},
       {"Sector Size", "512"},
       {"Parent", drive_path(1)},
       {"Partition Offset", "4194304"},
       {"Comment", "FAT32"}},
  };
  EXPECT_EQ(enumerate(), expected);

  EXPECT_TRUE(logged("DevicesInfo.cpp(74)\n"));
  EXPECT_TRUE(logged("DevicesInfoV1.cpp(369): GetVolumeInformation failed: "));

  SetLastError(ERROR_MORE_DATA);
  const std::string moreData = last_error_text();
  EXPECT_TRUE(
      logged("DevicesInfoV1.cpp(312): IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS failed: " + moreData +
             "\nDevicesInfoV1.cpp(407): get_volume_info failed: " + volume88 + "4}\n"))
      << log.text();

  // Malformed names are refused before anything is opened.
  for (const std::string& name : {volume88 + "5}", std::string("\\\\?\\")}) {
    EXPECT_TRUE(logged("DevicesInfoV1.cpp(394): *** " + name + " ***\n" +
                       "DevicesInfoV1.cpp(400): invalid volumePath: " + name + "\n"))
        << name;
  }
  EXPECT_FALSE(logged("get_volume_info(" + volume88 + "5)"));
  EXPECT_FALSE(logged("get_volume_info(\\\\?)"));

  EXPECT_TRUE(logged("DevicesInfoV1.cpp(283)\nDevicesInfoV1.cpp(407): get_volume_info failed: " +
                     volume88 + "7}\n"));
}

TEST_F(Enumeration, AFailedVolumeWalkKeepsTheDrives) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 1048576 } ],
                         "fail": ["FindFirstVolumeA"])");
  std::vector<PropertyMap> devices = {PropertyMap()};
  devices[0]["kept"] = "yes";
  dt::get_devices_info_win32_v1(devices);
  ASSERT_EQ(devices.size(), 2u) << "appended to, not cleared";
  EXPECT_EQ(devices[0].get("kept"), "yes");
  EXPECT_EQ(devices[1].get("File"), drive_path(0));
  EXPECT_TRUE(logged("DevicesInfoV1.cpp(390): FindFirstVolume failed\n"));
}

TEST_F(Enumeration, ADescriptorErrorEndsTheWalkAndRestoresTheErrorMode) {
  TestMachine machine(drives_machine("descriptor-error.cfg"));
  const HandleWatch handles;
  const UINT before = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  std::vector<PropertyMap> devices;
  try {
    dt::get_devices_info_win32_v1(devices);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "StorageDeviceDescriptor.cpp(127)");
  }
  EXPECT_EQ(SetErrorMode(before), SEM_NOOPENFILEERRORBOX);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].get("File"), drive_path(0));
  EXPECT_EQ(devices[1].get("File"), drive_path(1));
  EXPECT_EQ(devices[0].get("Drive Letters"), "C");
  ASSERT_EQ(devices[1].count("Drive Letters"), 1u) << "present, and empty, without letters";
  EXPECT_EQ(devices[1].get("Drive Letters"), "");
  EXPECT_FALSE(logged(drive_path(3)));
  EXPECT_FALSE(logged("get_volumes()"));

  EXPECT_EQ(handles.still_open(), 0) << "the failing drive's handle is closed on the way out";
}

TEST_F(Enumeration, SetsTheCriticalErrorModeOnlyForTheWalk) {
  TestMachine machine(drives_machine("two-disks.cfg"));
  const UINT before = SetErrorMode(0);
  enumerate();
  EXPECT_EQ(SetErrorMode(before), 0u);
}

} // namespace
