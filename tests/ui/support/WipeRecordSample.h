// What the tests of the log window, the certificate and the screenshots share: a drive and a
// finished wipe of it to show, and the program directory that the certificate's default
// background comes from.
#pragma once

#include "ProgramConfig.h"
#include "WipeRecord.h"
#include "gtk/ResourceDirectory.h"

#include <glib.h>

#include <string>

// Makes the build's program directory (the folder above the resource directory) the program
// configuration's "Program Path", as start-up does.
inline void use_program_directory_of_the_build() {
  gchar* folder = g_path_get_dirname(gtk::resource_directory().c_str());
  program_config().set("Program Path", std::string(folder));
  g_free(folder);
}

// A 2 TB drive; with a `warning`, one that the interface warns about.
inline Drive sample_drive(const char* warning = "") {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive2");
  drive.set_sectors(3907029168ULL);
  drive.set_sector_size(512);
  drive.set_model("ST2000DM008-2FR102");
  drive.set_serial("ZFL1A2B3");
  drive.set_warning(warning);
  return drive;
}

// A DoD 5220.22-M (E) wipe of a whole 2 TB drive with verification, finished.
inline WipeRecord finished_record(const Drive& drive = sample_drive()) {
  WipeRecord record;
  record.set_drive(drive);
  WipeOptions options;
  options.set_mode(4);
  options.set_verify(true);
  options.set_pattern(std::string("\x00", 1));
  record.set_options(options);
  record.start(0, drive.sectors());
  record.finish();
  return record;
}
