// The maker of the drive list: the machine's physical drives that the engine can address,
// with their partitions and warnings.
#pragma once

#include "Drive.h"
#include "PropertyMap.h"

#include <string>
#include <vector>

class DrivesFactory {
public:
  // Enumerates the machine afresh and returns a new drive list, in drive-number order. Throws
  // config::Value::Exception when the program configuration lacks "Program Path", or lacks
  // "Program Name" while a drive holds the program's folder.
  virtual std::vector<Drive> create() = 0;
  virtual ~DrivesFactory() = default;
};

// The process-wide factory over this machine's devices, made on first use.
DrivesFactory& system_drives_factory();

// The drives that the device property tables describe, as create builds them after the
// enumeration: the physical drive tables with 512- or 4096-byte sectors and a size of whole
// sectors, each with its warning and the volume tables whose "Parent" it is. Tables it drops
// leave a debug-log line. Throws as create does.
std::vector<Drive> drives_from_devices(const std::vector<PropertyMap>& devices);

// The drive that the physical drive table `device` describes: its id ("File"), size in
// sectors, sector size, and cleaned model and serial; no warning and no partitions. Returns
// false, with a debug-log line, when its sector size is neither 512 nor 4096 bytes or its size
// is not a whole number of sectors (at least one).
bool drive_from_device(const PropertyMap& device, Drive& drive);

// `text` with every byte that is not printable ASCII replaced by '.', without blanks at
// either end.
std::string clean_text(const std::string& text);
