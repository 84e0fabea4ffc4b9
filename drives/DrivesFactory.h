// The maker of the drive list: the machine's physical drives that the engine can address,
// with their partitions and warnings.
#pragma once

#include "Drive.h"
#include "PropertyMap.h"

#include <string>
#include <vector>

// A drive that the machine has and the drive list leaves out, and why.
struct UnlistedDrive {
  std::string id;         // "\\.\PhysicalDriveN"
  std::string systemName; // what the system under the platform layer calls it; may be empty
  std::string reason;     // for the operator
};

// The drives of one enumeration, and those it had to leave out.
struct DriveScan {
  std::vector<Drive> drives;
  std::vector<UnlistedDrive> unlisted;
};

class DrivesFactory {
public:
  // Enumerates the machine afresh and returns a new drive list, in drive-number order. Throws
  // config::Value::Exception when the program configuration lacks "Program Path", or lacks
  // "Program Name" while a drive holds the program's folder.
  virtual std::vector<Drive> create() = 0;
  // The same list, with the drives that the machine has but that could not be opened, sized
  // or used. Throws as create does. A factory that cannot tell leaves none out.
  virtual DriveScan scan() { return {create(), {}}; }
  virtual ~DrivesFactory() = default;
};

// The process-wide factory over this machine's devices, made on first use.
DrivesFactory& system_drives_factory();

// The drives that the device property tables describe, as create builds them after the
// enumeration: the physical drive tables with 512- or 4096-byte sectors and a size of whole
// sectors, each with its warning and the volume tables whose "Parent" it is. Tables it drops
// leave a debug-log line. Throws as create does.
// With `unlisted`, each physical drive table it drops is told there.
std::vector<Drive> drives_from_devices(const std::vector<PropertyMap>& devices,
                                       std::vector<UnlistedDrive>* unlisted = nullptr);

// The drive that the physical drive table `device` describes: its id ("File"), size in
// sectors, sector size, cleaned model and serial, its identity, and what the system calls it
// and says in place of an empty model or serial; no warning and no partitions. Returns false,
// with a debug-log line, when its sector size is neither 512 nor 4096 bytes or its size is not
// a whole number of sectors (at least one); `why` then receives the reason for the operator.
bool drive_from_device(const PropertyMap& device, Drive& drive, std::string* why = nullptr);

// `text` with every byte that is not printable ASCII replaced by '.', without blanks at
// either end.
std::string clean_text(const std::string& text);
