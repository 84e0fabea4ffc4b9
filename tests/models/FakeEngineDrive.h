// What the model tests on the scripted fake engine share: the drive they work on, a simulated
// machine where that drive stands (a model reads its drive's identity before it arms and
// starts), and how long they wait for one step of the engine.
#pragma once

#include "Drive.h"

#include <glib.h>

constexpr gint64 wait_limit_us = 20 * G_USEC_PER_SEC;

inline Drive test_drive() {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(2048);
  drive.set_sector_size(512);
  drive.set_model("WD Blue");
  drive.set_serial("WX1");
  return drive;
}

// The machine file text of a simulated machine whose drive 0 is test_drive().
inline const char* test_drive_machine() {
  return R"("drives": [{"number": 0, "size": 1048576, "product": "WD Blue", "serial": "WX1"}])";
}
