// A drive's identity read afresh from a simulated machine, and the check of a task's drive
// against what its path leads to now.
#include "DriveIdentity.h"

#include "DrivesMachine.h"
#include "LogCapture.h"

#include <gtest/gtest.h>

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
