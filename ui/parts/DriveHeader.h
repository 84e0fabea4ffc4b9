// How a drive task names its drive: the two lines beside the drive's icon at the head of the
// task, and one line of them for lists of drives. The model and the serial, as the drive
// reports them; where one is empty, what the system says in its place, marked as such; and
// before the model, the system's own name of the drive ("/dev/sdb") where it has one. Only for
// the eyes: records of wipes keep the model and serial as they are.
#pragma once

#include "Drive.h"

#include <string>

struct DriveHeader {
  std::string model;  // "/dev/sdb  WDC WD10EZEX", "/dev/loop7  /srv/x.img (backing file)"
  std::string serial; // "WD-WCC3F1234567", "naa.5000c500a1b2c3d4 (identifier)", or empty
};

// The header of `drive`'s task.
DriveHeader drive_header(const Drive& drive);

// The header's two lines in one ("/dev/sdb  WDC WD10EZEX / WD-WCC3F1234567"), for lists of
// drives; the drive's path when both are empty, so that a list never shows a blank for a drive.
std::string drive_header_line(const Drive& drive);

// A stand-in's text with what it is ("/srv/x.img (backing file)"); empty for none.
std::string stand_in_text(const Drive::StandIn& standIn);
