// A drive's identity read afresh from a simulated machine, and the check of a task's drive
// against what its path leads to now.
#include "DriveIdentity.h"

#include "DrivesMachine.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

const char* const machine_text = R"("drives": [
  {"number": 0, "size": 1048576, "vendor": "ACME ", "product": " Disk\t1 ", "serial": "S1"},
  {"number": 1, "size": 2097152, "sector size": 4096, "product": "Big", "serial": "S2"},
  {"number": 2, "size": 1048576, "product": "Quiet", "serial": "S3",
   "fail": ["IOCTL_STORAGE_QUERY_PROPERTY"]},
  {"number": 3, "size": 1000, "product": "Odd", "serial": "S4"}])";

Drive identity(const std::string& model, const std::string& serial, std::uint64_t sectors,
               std::uint64_t sectorSize = 512, int number = 0) {
  Drive drive;
  drive.set_id(drive_path(number));
  drive.set_model(model);
  drive.set_serial(serial);
  drive.set_sectors(sectors);
  drive.set_sector_size(sectorSize);
  return drive;
}

std::string shown(const Drive& d) {
  return d.id() + " " + d.model() + " / " + d.serial() + " " + std::to_string(d.sectors()) + "x" +
         std::to_string(d.sector_size());
}

} // namespace

TEST(DriveIdentity, IsReadAfreshAsTheDriveListReadsIt) {
  TestMachine machine(machine_text);
  LogCapture log;
  const struct {
    int number;
    bool read;
    std::string expected;
  } cases[] = {
      {0, true, shown(identity("ACME  Disk.1", "S1", 2048))},
      {1, true, shown(identity("Big", "S2", 512, 4096, 1))},
      // No answer to the storage query: no model, no serial.
      {2, true, shown(identity("", "", 2048, 512, 2))},
      {3, false, ""}, // not a whole number of sectors
      {4, false, ""}, // no such drive
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    Drive now;
    EXPECT_EQ(read_drive_identity(drive_path(c.number), now), c.read);
    if (c.read) {
      EXPECT_EQ(shown(now), c.expected);
    }
  }
}

TEST(DriveIdentity, ATaskDriveIsCheckedAgainstWhatItsPathLeadsToNow) {
  TestMachine machine(machine_text);
  LogCapture log;
  const std::string was = "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened for: "
                          "it was ";
  const struct {
    Drive opened;
    std::string change;
  } cases[] = {
      {identity("ACME  Disk.1", "S1", 2048), ""},
      {identity("ACME  Disk.1", "S9", 2048),
       was + "ACME  Disk.1 / S9, 2048 sectors of 512 bytes, it is now ACME  Disk.1 / S1, 2048 "
             "sectors of 512 bytes."},
      {identity("Other", "S1", 2048),
       was + "Other / S1, 2048 sectors of 512 bytes, it is now ACME  Disk.1 / S1, 2048 sectors "
             "of 512 bytes."},
      {identity("ACME  Disk.1", "S1", 4096),
       was + "ACME  Disk.1 / S1, 4096 sectors of 512 bytes, it is now ACME  Disk.1 / S1, 2048 "
             "sectors of 512 bytes."},
      {identity("Gone", "G", 10, 512, 7),
       "\\\\.\\PhysicalDrive7 cannot be read now: it cannot be confirmed that it is still the "
       "drive this task was opened for (Gone / G, 10 sectors of 512 bytes)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(shown(c.opened));
    EXPECT_EQ(drive_identity_change(c.opened), c.change);
    Drive now;
    if (read_drive_identity(c.opened.id(), now)) {
      EXPECT_EQ(same_disk(c.opened, now), c.change.empty());
    }
  }
}

// A twin: the same model, serial and size, another image. Only the disk's identity tells it
// from the disk the task was opened for; a record without an identity (a drive list of a
// machine that does not tell) is checked by the four alone.
TEST(DriveIdentity, ATwinAtThePathIsAnotherDisk) {
  const auto machine_text = [](const std::string& image) {
    return R"("drives": [ {"number": 0, "size": 1048576, "product": "TWIN", "serial": "T1",
                           "image": ")" +
           image + R"("} ])";
  };
  TestMachine machine(machine_text("a.img"));
  LogCapture log;
  Drive opened;
  ASSERT_TRUE(read_drive_identity(drive_path(0), opened));
  ASSERT_FALSE(opened.identity().empty());
  Drive withoutIdentity = opened;
  withoutIdentity.set_identity("");
  EXPECT_EQ(drive_identity_change(opened), "");

  std::ofstream(machine.path(), std::ios::binary) << machine_text("twin.img");
  Drive now;
  ASSERT_TRUE(read_drive_identity(drive_path(0), now));
  EXPECT_NE(now.identity(), opened.identity());
  EXPECT_FALSE(same_disk(opened, now));
  EXPECT_TRUE(same_disk(withoutIdentity, now));
  EXPECT_EQ(drive_identity_change(opened),
            "\\\\.\\PhysicalDrive0 is no longer the drive this task was opened for: another disk "
            "of the same model, serial and size (TWIN / T1, 2048 sectors of 512 bytes) has "
            "taken its place.");
  EXPECT_EQ(drive_identity_change(withoutIdentity), "");
  EXPECT_NE(log.text().find("DriveIdentity.cpp(63): " + drive_path(0) +
                            " was TWIN / T1, 2048 "
                            "sectors of 512 bytes " +
                            opened.identity() +
                            ", is TWIN / T1, 2048 "
                            "sectors of 512 bytes " +
                            now.identity() + "\n"),
            std::string::npos)
      << log.text();

  // A disk that does not tell which it is now cannot be confirmed to be the one it was.
  std::ofstream(machine.path(), std::ios::binary)
      << R"("drives": [ {"number": 0, "size": 1048576, "product": "TWIN", "serial": "T1",
                         "image": "a.img", "fail": ["IOCTL_STORAGE_GET_DEVICE_NUMBER_EX"]} ])";
  EXPECT_EQ(drive_identity_change(opened),
            "\\\\.\\PhysicalDrive0 cannot be read now: it cannot be confirmed that it is still the "
            "drive this task was opened for (TWIN / T1, 2048 sectors of 512 bytes).");
  EXPECT_EQ(drive_identity_change(withoutIdentity), "");

  // The first image back at the path is the first disk again.
  std::ofstream(machine.path(), std::ios::binary) << machine_text("a.img");
  EXPECT_EQ(drive_identity_change(opened), "");
}
