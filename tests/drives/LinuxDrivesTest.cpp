// Drive discovery on the real Linux machine: a loop device that the test sets up (and removes)
// as the last physical drive, compared with what lsblk says of it, and the system disk. They
// need root and a loop driver, and skip with the reason where there is none. Nothing is
// written to any device but the test's own loop device.
#include "DrivesFactory.h"
#include "DrivesMachine.h"
#include "LinuxMachine.h"
#include "LogCapture.h"
#include "LoopDevice.h"
#include "LoopDrive.h"
#include "ProgramConfig.h"
#include "SingletonGuard.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// lsblk's facts of one device: "KEY" -> value, from its KEY="value" output.
Table lsblk(const std::string& node) {
  std::string output;
  if (LoopDevice::run("lsblk -b -d -n -P -o SIZE,LOG-SEC,MODEL,SERIAL,REV,RM '" + node + "'",
                      output) != 0)
    return {};
  Table facts;
  std::size_t at = 0;
  for (;;) {
    at = output.find_first_not_of(" \n", at);
    const std::size_t equals = output.find("=\"", at);
    if (at == std::string::npos || equals == std::string::npos)
      break;
    const std::size_t end = output.find('"', equals + 2);
    if (end == std::string::npos)
      break;
    facts[output.substr(at, equals - at)] = output.substr(equals + 2, end - equals - 2);
    at = end + 1;
  }
  return facts;
}

std::string trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  while (!text.empty() && text.front() == ' ')
    text.erase(0, 1);
  return text;
}

const Table* find_file(const std::vector<Table>& devices, const std::string& file) {
  for (const Table& device : devices)
    if (device.count("File") != 0 && device.at("File") == file)
      return &device;
  return nullptr;
}

const Drive* find_drive(const std::vector<Drive>& drives, const std::string& id) {
  for (const Drive& drive : drives)
    if (drive.id() == id)
      return &drive;
  return nullptr;
}

// The real machine with this test's loop device as its last physical drive, and a program
// configuration whose folder has no drive letter.
class LinuxDrives : public LoopDriveTest {
protected:
  void SetUp() override {
    program_config().set("Program Path", "\\\\server\\share");
    program_config().set("Program Name", "CVW");
    LoopDriveTest::SetUp();
  }
  SingletonGuard singletons;
  LogCapture log;
};

INSTANTIATE_TEST_SUITE_P(SectorSizes, LinuxDrives, ::testing::Values(512u, 4096u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return "Sector" + std::to_string(info.param);
                         });

TEST_P(LinuxDrives, ListsTheLoopDeviceAsLsblkSeesIt) {
  const Table facts = lsblk(loop->node());
  ASSERT_FALSE(facts.empty()) << "lsblk said nothing of " << loop->node();
  const std::vector<Table> devices = enumerate();
  const Table* table = find_file(devices, path);
  ASSERT_NE(table, nullptr) << log.text();
  const Table expected = {
      {"File", path},
      {"Size", facts.at("SIZE")},
      {"Sector Size", facts.at("LOG-SEC")},
      {"Drive Letters", ""},
      {"Model", trimmed(facts.at("MODEL"))},
      {"Revision", trimmed(facts.at("REV"))},
      {"Serial", trimmed(facts.at("SERIAL"))},
      {"Removable Media", facts.at("RM")},
      {"Bus Type", ""},
      {"Identity", "{GUID}"},
      // What the system calls it, and, for the model that a loop device lacks, its image.
      {"System Name", loop->node()},
      {"Model Stand-In", loop->image()},
      {"Model Stand-In Kind", "backing file"},
  };
  EXPECT_EQ(*table, expected);
  EXPECT_EQ(table->at("Size"), "67108864");
  EXPECT_EQ(table->at("Sector Size"), std::to_string(GetParam()));

  const std::vector<Drive> drives = system_drives_factory().create();
  const Drive* drive = find_drive(drives, path);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->sectors(), 64u * 1048576 / GetParam());
  EXPECT_EQ(drive->sector_size(), GetParam());
  EXPECT_TRUE(drive->partitions().empty());
  EXPECT_EQ(drive->warning(), "");
  EXPECT_EQ(drive->system_name(), loop->node());
  EXPECT_EQ(drive->model(), "") << "the stand-in is beside the model, not in it";
  EXPECT_EQ(drive->model_stand_in().kind, Drive::StandIn::Kind::BackingFile);
  EXPECT_EQ(drive->model_stand_in().text, loop->image());
  EXPECT_EQ(drive->serial_stand_in().kind, Drive::StandIn::Kind::None);
}

TEST_P(LinuxDrives, AMountedFileSystemIsALetteredPartitionAndCanHoldTheProgram) {
  std::string output;
  if (!loop->make_ext4("CVWTEST", output))
    GTEST_SKIP() << "mkfs.ext4: " << output;
  if (!loop->mount(output))
    GTEST_SKIP() << "mount: " << output;
  const std::string programFolder = loop->mount_point() + "/bin";
  std::filesystem::create_directory(programFolder);

  const std::vector<Table> devices = enumerate();
  const Table* disk = find_file(devices, path);
  ASSERT_NE(disk, nullptr) << log.text();
  const std::string letters = disk->at("Drive Letters");
  ASSERT_EQ(letters.size(), 1u) << "the mounted file system has one drive letter";
  const std::string shortName = std::string("\\\\.\\") + letters + ":";
  const Table* volume = find_file(devices, shortName);
  ASSERT_NE(volume, nullptr) << log.text();
  const Table expected = {
      {"File", shortName},
      {"Size", "67108864"},
      {"Sector Size", std::to_string(GetParam())},
      {"Parent", path},
      {"Partition Offset", "0"},
      {"Comment", "ext4 - CVWTEST"},
      {"Mount Points", loop->mount_point()},
  };
  EXPECT_EQ(*volume, expected);

  // With the program folder on it, and none of the system's folders, it warns of the program.
  ScopedEnvironment system("SYSTEMDRIVE", std::string("\\\\server\\system"));
  ScopedEnvironment programs("PROGRAMFILES", std::string("\\\\server\\programs"));
  ScopedEnvironment data("APPDATA", std::string("\\\\server\\data"));
  program_config().set("Program Path", programFolder);
  const std::vector<Drive> drives = system_drives_factory().create();
  const Drive* drive = find_drive(drives, path);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->warning(), "\"CVW\" Drive");
  ASSERT_EQ(drive->partitions().size(), 1u);
  EXPECT_EQ(drive->partitions()[0].name(),
            "67.11MB (Drive " + letters + ": " + loop->mount_point() + ") ext4 - CVWTEST");
  EXPECT_EQ(drive->partitions()[0].letter(), letters + ":");
  EXPECT_EQ(drive->partitions()[0].mount_points(), std::vector<std::string>{loop->mount_point()});
  EXPECT_EQ(drive->partitions()[0].start(), 0u);
  EXPECT_EQ(drive->partitions()[0].sectors(), 64u * 1048576 / GetParam());
}

// The disk that holds "/" is the system's: the layer names it in SYSTEMDRIVE when that is not
// set, and the factory warns of it.
TEST(LinuxSystemDisk, CarriesTheSystemWarning) {
  ScopedEnvironment noMachine("CVW_MACHINE", std::nullopt);
  ScopedEnvironment noLoops("CVW_LOOP_DEVICES", std::nullopt);
  struct stat root;
  ASSERT_EQ(stat("/", &root), 0);
  char device[PATH_MAX];
  const std::string link = "/sys/dev/block/" + std::to_string(major(root.st_dev)) + ":" +
                           std::to_string(minor(root.st_dev));
  if (realpath(link.c_str(), device) == nullptr)
    GTEST_SKIP() << "/ is not on a block device here";
  std::filesystem::path node = device;
  if (std::filesystem::exists(node / "partition"))
    node = node.parent_path();
  const std::vector<std::string> names = platform::linux_drive_names();
  const auto found = std::find(names.begin(), names.end(), node.filename().string());
  if (found == names.end())
    GTEST_SKIP() << "/ is on " << node.filename() << ", which is no physical drive here";
  const std::string id = drive_path(static_cast<int>(found - names.begin()));
  {
    const Win32Handle disk = Win32Handle::open(id, GENERIC_READ);
    if (!disk.valid())
      GTEST_SKIP() << "the system disk " << node.filename() << " cannot be opened for reading here"
                   << " (error " << GetLastError() << ")";
  }

  ScopedEnvironment system("SYSTEMDRIVE", std::nullopt);
  ScopedEnvironment programs("PROGRAMFILES", std::nullopt);
  ScopedEnvironment data("APPDATA", std::nullopt);
  const platform::LinuxMachine machine; // sets the three, as at the program's start
  ASSERT_NE(std::getenv("SYSTEMDRIVE"), nullptr);
  SingletonGuard singletons;
  program_config().set("Program Path", "\\\\server\\share");
  LogCapture log;
  const std::vector<Drive> drives = system_drives_factory().create();
  const Drive* drive = find_drive(drives, id);
  ASSERT_NE(drive, nullptr) << log.text();
  EXPECT_EQ(drive->warning(), "System Drive");
}

} // namespace
