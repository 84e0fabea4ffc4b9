// How a drive task names its drive at its head, and in one line for lists.
#include "parts/DriveHeader.h"

#include <gtest/gtest.h>

namespace {

Drive drive(const std::string& model, const std::string& serial) {
  Drive d;
  d.set_id("\\\\.\\PhysicalDrive3");
  d.set_sectors(2048);
  d.set_model(model);
  d.set_serial(serial);
  return d;
}

} // namespace

TEST(DriveHeader, NamesTheDriveAsItsTaskHeadShowsIt) {
  using Kind = Drive::StandIn::Kind;
  const struct {
    const char* name;
    std::string model, serial, systemName;
    Drive::StandIn modelStandIn, serialStandIn;
    std::string first, second, oneLine;
  } cases[] = {
      {"as the drive reports it", "ST8000", "ZA1", "", {}, {}, "ST8000", "ZA1", "ST8000 / ZA1"},
      {"named by the system",
       "ST8000",
       "ZA1",
       "/dev/sdb",
       {},
       {},
       "/dev/sdb  ST8000",
       "ZA1",
       "/dev/sdb  ST8000 / ZA1"},
      {"a loop device",
       "",
       "",
       "/dev/loop7",
       {Kind::BackingFile, "/srv/x.img"},
       {},
       "/dev/loop7  /srv/x.img (backing file)",
       "",
       "/dev/loop7  /srv/x.img (backing file)"},
      {"a virtio disk",
       "",
       "virtio-1",
       "/dev/vda",
       {Kind::Driver, "virtio_blk"},
       {},
       "/dev/vda  virtio_blk (driver)",
       "virtio-1",
       "/dev/vda  virtio_blk (driver) / virtio-1"},
      {"no serial but an identifier",
       "M",
       "",
       "",
       {},
       {Kind::Identifier, "naa.5"},
       "M",
       "naa.5 (identifier)",
       "M / naa.5 (identifier)"},
      {"stand-ins only where the text is empty",
       "M",
       "S",
       "",
       {Kind::BackingFile, "/x"},
       {Kind::Identifier, "naa.5"},
       "M",
       "S",
       "M / S"},
      {"nothing at all", "", "", "", {}, {}, "", "", "\\\\.\\PhysicalDrive3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Drive d = drive(c.model, c.serial);
    d.set_system_name(c.systemName);
    d.set_model_stand_in(c.modelStandIn);
    d.set_serial_stand_in(c.serialStandIn);
    const DriveHeader header = drive_header(d);
    EXPECT_EQ(header.model, c.first);
    EXPECT_EQ(header.serial, c.second);
    EXPECT_EQ(drive_header_line(d), c.oneLine);
  }
}
