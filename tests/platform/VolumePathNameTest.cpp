// GetVolumePathNameA: drive-letter paths, the paths that are not implemented, and on Linux the
// letter of the mounted file system that holds a folder.
#include "LoopDevice.h"
#include "TestMachine.h"
#include "Win32.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

// The root, or the error code when the call fails.
std::string root_of(const std::string& path, DWORD length = MAX_PATH) {
  char root[MAX_PATH];
  if (!GetVolumePathNameA(path.c_str(), root, length))
    return "error " + std::to_string(GetLastError());
  return root;
}

TEST(VolumePathName, GivesTheRootOfADriveLetterPathOnEveryMachine) {
  for (const std::optional<std::string>& machine :
       {std::optional<std::string>(), std::optional<std::string>("simulated")}) {
    std::optional<TestMachine> simulated;
    std::optional<ScopedEnvironment> real;
    if (machine)
      simulated.emplace("\"drives\": []");
    else
      real.emplace("CVW_MACHINE", std::nullopt);
    EXPECT_EQ(root_of("C:\\Program Files\\x"), "C:\\");
    EXPECT_EQ(root_of("d:"), "d:\\");
    EXPECT_EQ(root_of("Q:relative"), "Q:\\");
    EXPECT_EQ(root_of("\\\\server\\share\\folder"), "error " + std::to_string(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(root_of("\\\\.\\PhysicalDrive0"), "error " + std::to_string(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(root_of(""), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(root_of("C:\\x", 3), "error " + std::to_string(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(root_of("C:\\x", 4), "C:\\");
  }
  char root[8];
  EXPECT_FALSE(GetVolumePathNameA(nullptr, root, sizeof root));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(VolumePathName, TheSimulatedMachineHoldsNoFolders) {
  TestMachine machine(R"("drives": [ { "number": 0, "size": 16777216 } ],
                         "volumes": [ { "disk": 0, "offset": 1048576, "length": 8388608,
                                        "file system": "NTFS", "letters": "C" } ])");
  EXPECT_EQ(root_of(machine.dir().path().string()),
            "error " + std::to_string(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(root_of("/"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
}

TEST(VolumePathName, OnLinuxGivesTheLetterOfTheFileSystemThatHoldsAFolder) {
  ScopedEnvironment noMachine("CVW_MACHINE", std::nullopt);
  LoopDevice loop(16 * 1048576, 512);
  if (!loop.why_not().empty())
    GTEST_SKIP() << loop.why_not();
  std::string output;
  if (!loop.make_ext4("ROOTTEST", output))
    GTEST_SKIP() << "mkfs.ext4: " << output;
  ASSERT_TRUE(loop.mount(output)) << output;
  ScopedEnvironment loops("CVW_LOOP_DEVICES", loop.name());
  const std::string folder = loop.mount_point() + "/some/folder";
  std::filesystem::create_directories(folder);

  const std::string root = root_of(folder);
  ASSERT_EQ(root.size(), 3u) << root;
  EXPECT_EQ(root.substr(1), ":\\");
  EXPECT_EQ(root_of(loop.mount_point()), root);
  // The letter opens the loop device's volume.
  const Win32Handle volume = Win32Handle::open("\\\\.\\" + root.substr(0, 2));
  ASSERT_TRUE(volume.valid()) << GetLastError();
  PARTITION_INFORMATION partition;
  ASSERT_TRUE(query_record(volume.get(), IOCTL_DISK_GET_PARTITION_INFO, partition));
  EXPECT_EQ(partition.PartitionLength.QuadPart, 16 * 1048576);
  char label[MAX_PATH + 1];
  ASSERT_TRUE(GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr,
                                    nullptr, 0));
  EXPECT_STREQ(label, "ROOTTEST");

  EXPECT_EQ(root_of(folder + "/missing"), "error " + std::to_string(ERROR_PATH_NOT_FOUND));
}

} // namespace
