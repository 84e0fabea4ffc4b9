// The drive records and the drives factory: which tables become drives, their partitions and
// names, the cleaned texts, the warnings by environment and configuration, and whole machines.
#include "DrivesFactory.h"
#include "DrivesMachine.h"
#include "LogCapture.h"
#include "ProgramConfig.h"
#include "SingletonGuard.h"
#include "Strings.h"
#include "Win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// How the records print when an expectation fails.
void PrintTo(const Partition& partition, std::ostream* out) {
  *out << "{\"" << partition.name() << "\", " << partition.start() << ", " << partition.sectors()
       << "}";
}

void PrintTo(const Drive& drive, std::ostream* out) {
  *out << "{" << drive.id() << ", " << drive.sectors() << " x " << drive.sector_size() << ", \""
       << drive.model() << "\", \"" << drive.serial() << "\", \"" << drive.warning() << "\", [";
  for (const Partition& partition : drive.partitions()) {
    PrintTo(partition, out);
    *out << " ";
  }
  *out << "]}";
}

bool operator==(const Partition& a, const Partition& b) {
  return a.name() == b.name() && a.start() == b.start() && a.sectors() == b.sectors();
}

bool operator==(const Drive& a, const Drive& b) {
  return a.id() == b.id() && a.sectors() == b.sectors() && a.sector_size() == b.sector_size() &&
         a.model() == b.model() && a.serial() == b.serial() && a.warning() == b.warning() &&
         a.partitions() == b.partitions();
}

namespace {

Partition partition(const std::string& name, std::uint64_t start, std::uint64_t sectors) {
  Partition result;
  result.set_name(name);
  result.set_start(start);
  result.set_sectors(sectors);
  return result;
}

Drive drive(int number, std::uint64_t sectors, std::uint64_t sectorSize, const std::string& model,
            const std::string& serial, const std::string& warning,
            const std::vector<Partition>& partitions) {
  Drive result;
  result.set_id(drive_path(number));
  result.set_sectors(sectors);
  result.set_sector_size(sectorSize);
  result.set_model(model);
  result.set_serial(serial);
  result.set_warning(warning);
  result.set_partitions(partitions);
  return result;
}

PropertyMap table(const Table& entries) {
  PropertyMap result;
  for (const auto& [key, value] : entries)
    result[key] = value;
  return result;
}

PropertyMap disk_table(int number, const std::string& size, const std::string& sectorSize,
                       const std::string& letters = "") {
  return table({{"File", drive_path(number)},
                {"Size", size},
                {"Sector Size", sectorSize},
                {"Drive Letters", letters}});
}

PropertyMap volume_table(const std::string& file, int parent, const std::string& size,
                         const std::string& offset, const std::string& comment = "") {
  PropertyMap result = table({{"File", file},
                              {"Size", size},
                              {"Sector Size", "512"},
                              {"Parent", drive_path(parent)},
                              {"Partition Offset", offset}});
  if (!comment.empty())
    result["Comment"] = comment;
  return result;
}

// Every test starts without the three variables, with a program folder that has no drive
// letter and the program name "CVW", on an empty simulated machine (so that no folder lies on
// a real drive); the configuration and the variables come back after it.
class Factory : public ::testing::Test {
protected:
  void SetUp() override {
    program_config().set("Program Path", "\\\\server\\share\\cvw");
    program_config().set("Program Name", "CVW");
  }

  void set(const char* name, const std::optional<std::string>& value) {
    variables.push_back(std::make_unique<ScopedEnvironment>(name, value));
  }

  bool logged(const std::string& line) const { return log.text().find(line) != std::string::npos; }

  SingletonGuard singletons;
  TestMachine empty{"\"drives\": []"};
  ScopedEnvironment system{"SYSTEMDRIVE", std::nullopt};
  ScopedEnvironment programs{"PROGRAMFILES", std::nullopt};
  ScopedEnvironment data{"APPDATA", std::nullopt};
  std::vector<std::unique_ptr<ScopedEnvironment>> variables;
  LogCapture log;
};

TEST_F(Factory, KeepsOnlyDrivesWithUsableSectorSizesAndSizes) {
  struct Case {
    const char* size;
    const char* sectorSize;
    std::uint64_t sectors; // 0: dropped, with `line`
    const char* line;
  };
  const Case cases[] = {
      {"1048576", "512", 2048, nullptr},
      {"1048576", "4096", 256, nullptr},
      {" 1048576", "\t512", 2048, nullptr}, // leading white space is skipped
      {"1048576 bytes", "512x", 2048, nullptr},
      {"1000204886016", "512", 1953525168, nullptr},
      {"4096", "4096", 1, nullptr},
      {"1048576", "2048", 0, ", sectorSize: 2048\n"},
      {"1048576", "1024", 0, ", sectorSize: 1024\n"},
      {"1048576", "", 0, ", sectorSize: 0\n"},
      {"1048576", "abc", 0, ", sectorSize: 0\n"},
      {"1048576", "-512", 0, ", sectorSize: 0\n"},
      {"1048576", "99999999999999999999999", 0, ", sectorSize: 0\n"},
      {"", "512", 0, ", size: 0\n"},
      {"0", "512", 0, ", size: 0\n"},
      {"511", "512", 0, ", size: 511\n"},
      {"1000", "512", 0, ", size: 1000\n"},
      {"8192", "4096", 2, nullptr},
      {"6144", "4096", 0, ", size: 6144\n"},
  };
  for (const Case& c : cases) {
    log.clear();
    const std::vector<Drive> drives = drives_from_devices({disk_table(0, c.size, c.sectorSize)});
    if (c.sectors == 0) {
      EXPECT_TRUE(drives.empty()) << c.size << " / " << c.sectorSize;
      const std::string where = std::string(c.line).find("sectorSize") != std::string::npos
                                    ? "DrivesFactory.cpp(113): "
                                    : "DrivesFactory.cpp(118): ";
      EXPECT_TRUE(logged(where + drive_path(0) + c.line)) << c.size << " / " << c.sectorSize << "\n"
                                                          << log.text();
    } else {
      ASSERT_EQ(drives.size(), 1u) << c.size << " / " << c.sectorSize;
      EXPECT_EQ(drives[0].sectors(), c.sectors) << c.size;
      EXPECT_EQ(drives[0].sectors() * drives[0].sector_size(), std::stoull(c.size)) << c.size;
    }
  }
}

TEST_F(Factory, AbsentKeysDropADriveWithTheSizeZero) {
  const std::vector<Drive> drives = drives_from_devices(
      {table({{"File", drive_path(0)}}), table({{"File", drive_path(1)}, {"Sector Size", "512"}})});
  EXPECT_TRUE(drives.empty());
  EXPECT_TRUE(logged("DrivesFactory.cpp(113): " + drive_path(0) + ", sectorSize: 0\n"));
  EXPECT_TRUE(logged("DrivesFactory.cpp(118): " + drive_path(1) + ", size: 0\n"));
}

TEST_F(Factory, SkipsTablesThatAreNotPhysicalDrivesWithoutALine) {
  const std::vector<Drive> drives = drives_from_devices({
      table({{"File", "\\\\.\\E:"}, {"Size", "1048576"}, {"Sector Size", "2048"}}),
      table({{"File", "\\\\.\\PhysicalDriv"}, {"Size", "1048576"}, {"Sector Size", "2048"}}),
      table({{"File", "\\\\?\\PhysicalDrive0"}, {"Size", "1048576"}, {"Sector Size", "512"}}),
      table({{"Size", "1048576"}, {"Sector Size", "2048"}}),
  });
  EXPECT_TRUE(drives.empty());
  EXPECT_FALSE(logged("DrivesFactory.cpp(113)"));
  EXPECT_FALSE(logged("DrivesFactory.cpp(118)"));
}

TEST_F(Factory, CleansTheModelAndTheSerial) {
  struct Case {
    const char* text;
    const char* cleaned;
  };
  const Case cases[] = {
      {"  ABC\tX  ", "ABC.X"}, {"   ", ""},          {"", ""},
      {"X\t", "X."},           {"\x01Y\x7f", ".Y."}, {"caf\xc3\xa9 ", "caf.."},
      {" A  B ", "A  B"},      {"~!", "~!"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(clean_text(c.text), c.cleaned) << c.text;

  PropertyMap disk = disk_table(0, "1048576", "512");
  disk["Model"] = "  ABC\tX  ";
  disk["Serial"] = "  ";
  const std::vector<Drive> drives = drives_from_devices({disk, disk_table(1, "1048576", "512")});
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[0].model(), "ABC.X");
  EXPECT_EQ(drives[0].serial(), "");
  EXPECT_EQ(drives[1].model(), "") << "a failed storage query leaves model and serial empty";
}

TEST_F(Factory, AttachesTheVolumesWhoseParentIsTheDrive) {
  const std::vector<PropertyMap> devices = {
      // Before the drive tables: the whole list is walked for each drive.
      volume_table("\\\\.\\E:", 0, "16777216", "1048576", "NTFS - DATA"),
      disk_table(0, "67108864", "512", "E"),
      disk_table(1, "67108864", "4096"),
      disk_table(2, "67108864", "2048"), // dropped
      volume_table("\\\\?\\Volume{1}", 0, "8388608", "17825792"),
      volume_table("\\\\.\\F:", 1, "8388608", "1048576", "FAT32"),
      volume_table("\\\\?\\Volume{2}", 0, "", "34603008", "RAW"),
      volume_table("\\\\.\\EF", 0, "1048576", "41943040"), // not the short form
      volume_table("\\\\.\\G:", 0, "1000", "42991616"),    // not whole sectors
      volume_table("\\\\.\\H:", 1, "1048576", "2048"),     // not on a 4096-byte sector
      volume_table("\\\\.\\I:", 2, "1048576", "1048576"),  // on the dropped drive
      volume_table("\\\\.\\J:", 7, "1048576", "1048576"),  // on no drive
      table({{"File", "\\\\.\\K:"}, {"Size", "1048576"}}), // no parent
  };
  const std::vector<Drive> expected = {
      drive(0, 131072, 512, "", "", "",
            {partition("16.78MB (Drive E:) NTFS - DATA", 2048, 32768),
             partition("8.389MB", 34816, 16384), partition("0 RAW", 67584, 0),
             partition("1.049MB", 81920, 2048)}),
      drive(1, 16384, 4096, "", "", "", {partition("8.389MB (Drive F:) FAT32", 256, 2048)}),
  };
  EXPECT_EQ(drives_from_devices(devices), expected);
  EXPECT_TRUE(logged("DrivesFactory.cpp(138): \\\\.\\G:, size: 1000\n"));
  EXPECT_TRUE(logged("DrivesFactory.cpp(143): \\\\.\\H:, offset: 2048\n"));
}

TEST_F(Factory, WarnsOfTheDrivesThatHoldTheSystemTheProgramsTheDataAndTheProgram) {
  struct Case {
    std::optional<std::string> systemDrive, programFiles, appData;
    std::string programPath;
    std::string letters;
    std::string warning;
  };
  const std::optional<std::string> unset;
  const std::string share = "\\\\server\\share\\cvw";
  const Case cases[] = {
      {"C:", "C:\\Program Files", "C:\\Users\\me\\AppData", "C:\\Tools", "CD", "System Drive"},
      {"c:", unset, unset, share, "C", "System Drive"},
      {"C:\\", unset, unset, share, "BCD", "System Drive"},
      {unset, "C:\\Program Files", "C:\\AppData", "C:\\Tools", "CD", "\"Program Files\" Drive"},
      {"C:", "D:\\Program Files", unset, share, "DE", "\"Program Files\" Drive"},
      {unset, unset, "E:\\Users\\me\\AppData", "E:\\Tools", "E", "\"Application Data\" Drive"},
      {"C:", "D:\\Programs", "E:\\Data", "f:\\Tools", "F", "\"CVW\" Drive"},
      {"C:", "D:\\Programs", "E:\\Data", "F:\\Tools", "G", ""},
      {"C:", "D:\\Programs", "E:\\Data", "F:\\Tools", "", ""},
      {"", "", "", share, "C", ""},
      {"C", unset, unset, share, "C", ""},
      {"1:", unset, unset, share, "C", ""},
      {" C:", unset, unset, share, "C", ""},
      {unset, unset, unset, "D", "D", ""},
      {unset, unset, unset, share, "DS", ""},
  };
  for (const Case& c : cases) {
    set("SYSTEMDRIVE", c.systemDrive);
    set("PROGRAMFILES", c.programFiles);
    set("APPDATA", c.appData);
    program_config().set("Program Path", c.programPath);
    const std::vector<Drive> drives =
        drives_from_devices({disk_table(0, "1048576", "512", c.letters)});
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].warning(), c.warning)
        << c.systemDrive.value_or("(unset)") << " " << c.programFiles.value_or("(unset)") << " "
        << c.appData.value_or("(unset)") << " " << c.programPath << " letters " << c.letters;
    variables.clear();
  }
}

TEST_F(Factory, LogsTheFourFoldersUnsetOnesEmpty) {
  set("SYSTEMDRIVE", "C:");
  set("APPDATA", "E:\\Data");
  program_config().set("Program Path", "D:\\Tools");
  drives_from_devices({});
  EXPECT_TRUE(logged("DrivesFactory.cpp(47): SYSTEMDRIVE: C:\n"
                     "DrivesFactory.cpp(50): PROGRAMFILES: \n"
                     "DrivesFactory.cpp(53): APPDATA: E:\\Data\n"
                     "DrivesFactory.cpp(56): Program Path: D:\\Tools\n"))
      << log.text();
}

TEST_F(Factory, ReadsTheProgramConfigurationOnlyAsFarAsItNeeds) {
  // "Program Name" is read only for a drive that holds the program folder and none of the
  // three others; "Program Path" always.
  program_config().as_object().erase("Program Name");
  set("SYSTEMDRIVE", "C:");
  program_config().set("Program Path", "C:\\Tools");
  EXPECT_NO_THROW(drives_from_devices({disk_table(0, "1048576", "512", "C")}));
  program_config().set("Program Path", "\\\\server\\share");
  EXPECT_NO_THROW(drives_from_devices({disk_table(0, "1048576", "512", "D")}));
  program_config().set("Program Path", "D:\\Tools");
  EXPECT_THROW(drives_from_devices({disk_table(0, "1048576", "512", "D")}),
               config::Value::Exception);

  program_config().as_object().erase("Program Path");
  EXPECT_THROW(drives_from_devices({}), config::Value::Exception);
}

TEST_F(Factory, ListsTheDrivesOfAMachineWithTheirPartitions) {
  TestMachine machine(drives_machine("two-disks.cfg"));
  set("SYSTEMDRIVE", "E:");
  const std::vector<Drive> expected = {
      drive(0, 131072, 512, "ATA     SIM DISK 64M", "21436587", "System Drive",
            {partition("16.78MB (Drive E:) NTFS - DATA", 2048, 32768),
             partition("16.78MB (Drive D:) FAT32", 34816, 32768),
             partition("8.389MB", 67584, 16384)}),
      drive(1, 8192, 4096, "USB STICK", "USB-0001", "",
            {partition("8.389MB exFAT - STICK", 256, 2048)}),
  };
  std::vector<Drive> first = system_drives_factory().create();
  EXPECT_EQ(first, expected);
  EXPECT_EQ(&system_drives_factory(), &system_drives_factory());

  // Each call enumerates afresh and hands over a list of its own.
  first[0].set_model("changed");
  first.pop_back();
  EXPECT_EQ(system_drives_factory().create(), expected);
}

TEST_F(Factory, ListsTheDrivesBeforeADriveWhoseDescriptorIsBroken) {
  TestMachine machine(drives_machine("descriptor-error.cfg"));
  set("SYSTEMDRIVE", "C:");
  const std::vector<Drive> expected = {
      drive(0, 32768, 512, "FIRST", "S0", "System Drive", {}),
      drive(1, 32768, 512, "SECOND", "S1", "", {}),
  };
  std::vector<Drive> drives;
  ASSERT_NO_THROW(drives = system_drives_factory().create());
  EXPECT_EQ(drives, expected);
  EXPECT_TRUE(
      logged("DrivesFactory.cpp(41): enumeration ended: StorageDeviceDescriptor.cpp(127)\n"))
      << log.text();
}

// What the system under the platform layer says of a drive reaches its record beside the
// model and serial, never in their place; a volume's mount points stand beside its letter.
TEST_F(Factory, TellsWhatTheSystemCallsADriveAndWhereItsVolumesAreMounted) {
  TestMachine machine(R"("drives": [
    { "number": 0, "size": 16777216, "system name": "/dev/loop7",
      "model stand-in": ["backing file", "/srv/images/stick.img"],
      "serial stand-in": ["identifier", "naa.5000c500a1b2c3d4"] },
    { "number": 1, "size": 16777216, "product": "PLAIN", "serial": "P1" } ],
    "volumes": [
      { "disk": 0, "offset": 1048576, "length": 4194304, "file system": "ext4", "letters": "F",
        "mount points": ["/media/stick", "/mnt/two"] },
      { "disk": 0, "offset": 5242880, "length": 4194304, "file system": "ext4",
        "mount points": ["/srv/data"] },
      { "disk": 1, "offset": 1048576, "length": 4194304, "file system": "NTFS", "letters": "G" } ])");
  const std::vector<Drive> drives = system_drives_factory().create();
  ASSERT_EQ(drives.size(), 2u);
  const Drive& described = drives[0];
  EXPECT_EQ(described.model(), "");
  EXPECT_EQ(described.serial(), "");
  EXPECT_EQ(described.system_name(), "/dev/loop7");
  EXPECT_EQ(described.model_stand_in().kind, Drive::StandIn::Kind::BackingFile);
  EXPECT_EQ(described.model_stand_in().text, "/srv/images/stick.img");
  EXPECT_EQ(described.serial_stand_in().kind, Drive::StandIn::Kind::Identifier);
  EXPECT_EQ(described.serial_stand_in().text, "naa.5000c500a1b2c3d4");
  const struct {
    std::string name, letter;
    std::vector<std::string> points;
  } volumes[] = {
      {"4.194MB (Drive F: /media/stick /mnt/two) ext4", "F:", {"/media/stick", "/mnt/two"}},
      {"4.194MB (/srv/data) ext4", "", {"/srv/data"}},
  };
  ASSERT_EQ(described.partitions().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(volumes[i].name);
    EXPECT_EQ(described.partitions()[i].name(), volumes[i].name);
    EXPECT_EQ(described.partitions()[i].letter(), volumes[i].letter);
    EXPECT_EQ(described.partitions()[i].mount_points(), volumes[i].points);
  }
  // A machine that says nothing of them: as before.
  const Drive& plain = drives[1];
  EXPECT_EQ(plain.system_name(), "");
  EXPECT_EQ(plain.model_stand_in().kind, Drive::StandIn::Kind::None);
  EXPECT_EQ(plain.serial_stand_in().kind, Drive::StandIn::Kind::None);
  ASSERT_EQ(plain.partitions().size(), 1u);
  EXPECT_EQ(plain.partitions()[0].name(), "4.194MB (Drive G:) NTFS");
  EXPECT_TRUE(plain.partitions()[0].mount_points().empty());
}

// The drives that a machine has and the list leaves out, each with the reason, in drive-number
// order: those that cannot be opened or sized, those whose sizes cannot be wiped, and the one
// whose descriptor ends the enumeration. Numbers that lead nowhere are no drives.
TEST_F(Factory, TellsTheDrivesItCannotList) {
  SetLastError(ERROR_ACCESS_DENIED);
  const std::string denied = last_error_text();
  SetLastError(ERROR_FILE_NOT_FOUND);
  const std::string notFound = last_error_text();
  SetLastError(ERROR_INVALID_FUNCTION);
  const std::string noGeometry = last_error_text();
  TestMachine machine(R"("drives": [
    { "number": 0, "size": 1048576 },
    { "number": 1, "size": 1048576, "fail": ["CreateFileA"] },
    { "number": 2, "size": 1048576, "sector size": 2048 },
    { "number": 3, "size": 1048576, "system name": "/dev/sdd", "fail": {"CreateFileA": 2} },
    { "number": 5, "size": 1048576, "fail": ["IOCTL_DISK_GET_DRIVE_GEOMETRY"] },
    { "number": 6, "size": 0, "system name": "/dev/sdf" } ])");
  const DriveScan scan = system_drives_factory().scan();
  ASSERT_EQ(scan.drives.size(), 1u);
  EXPECT_EQ(scan.drives[0].id(), drive_path(0));
  const struct {
    std::string id, systemName, reason;
  } expected[] = {
      {drive_path(1), "", denied},
      {drive_path(2), "", "sectors of 2048 bytes, where only 512 and 4096 can be wiped"},
      {drive_path(3), "/dev/sdd", notFound}, // named by the system, so it is there
      {drive_path(5), "", noGeometry},
      {drive_path(6), "/dev/sdf", "it has no size"}, // a card reader without a card
  };
  ASSERT_EQ(scan.unlisted.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].id);
    EXPECT_EQ(scan.unlisted[i].id, expected[i].id);
    EXPECT_EQ(scan.unlisted[i].systemName, expected[i].systemName);
    EXPECT_EQ(scan.unlisted[i].reason, expected[i].reason);
  }
  EXPECT_TRUE(logged("DevicesInfoV1.cpp(264): " + drive_path(1) +
                     " is there and cannot be opened or sized: " + denied + "\n"))
      << log.text();
  EXPECT_TRUE(logged("DevicesInfoV1.cpp(264): " + drive_path(3) +
                     " /dev/sdd is there and cannot be opened or sized: " + notFound + "\n"));

  TestMachine broken(drives_machine("descriptor-error.cfg"));
  const DriveScan cut = system_drives_factory().scan();
  EXPECT_EQ(cut.drives.size(), 2u);
  ASSERT_EQ(cut.unlisted.size(), 1u);
  EXPECT_EQ(cut.unlisted[0].id, drive_path(2));
  EXPECT_EQ(cut.unlisted[0].reason,
            "its storage descriptor cannot be read, and the drives after it are not looked at");

  // A machine file that cannot be used has no drives to leave out.
  TestMachine unusable(R"("drives": [ { "number": 0, "size": 1, "colour": "red" } ])");
  EXPECT_TRUE(system_drives_factory().scan().unlisted.empty());
}

TEST_F(Factory, AProgramFolderOfThisSystemLiesOnNoDriveOfASimulatedMachine) {
  // The machine has a C: drive; the program folder is a real folder of this system, which the
  // simulated machine does not hold, so the drive carries no warning for it.
  TestMachine machine(R"("drives": [ { "number": 0, "size": 16777216 } ],
                         "volumes": [ { "disk": 0, "offset": 1048576, "length": 8388608,
                                        "file system": "NTFS", "letters": "C" } ])");
  program_config().set("Program Path", std::string(CVW_TEST_DATA));
  const std::vector<Drive> drives = system_drives_factory().create();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0].warning(), "");
}

TEST(DriveRecords, StartEmptyAndCopyWhole) {
  const Drive empty;
  EXPECT_EQ(empty.id(), "");
  EXPECT_EQ(empty.sectors(), 0u);
  EXPECT_EQ(empty.sector_size(), 512u);
  EXPECT_EQ(empty.model(), "");
  EXPECT_EQ(empty.serial(), "");
  EXPECT_EQ(empty.warning(), "");
  EXPECT_TRUE(empty.partitions().empty());
  const Partition none;
  EXPECT_EQ(none, partition("", 0, 0));

  std::vector<Partition> partitions = {partition("1.049MB", 2048, 2048)};
  Drive original = drive(3, 4096, 512, "M", "S", "W", partitions);
  partitions[0].set_name("changed"); // the drive keeps its own copy
  const Drive copy = original;
  original.set_partitions({});
  ASSERT_EQ(copy.partitions().size(), 1u);
  EXPECT_EQ(copy.partitions()[0].name(), "1.049MB");
}

} // namespace
