// The machine file: the text that describes a simulated machine (its format is in
// platform/README.md), and what it describes.
#pragma once

#include "Machine.h"

#include <map>
#include <string>
#include <vector>

namespace config {
class Value;
}

namespace platform {

// The error code each named call is set to give.
using Failures = std::map<std::string, DWORD>;

struct SectorRange {
  std::uint64_t first = 0;
  std::uint64_t count = 0;
};

struct SimulatedDrive {
  DWORD number = 0;
  std::uint64_t size = 0;
  std::uint32_t sectorSize = 512;
  std::string vendor, product, revision, serial;
  bool removable = false;
  std::int32_t busType = BusTypeSata;
  std::string image; // absolute path
  std::int64_t cylinders = 0;
  DWORD tracksPerCylinder = 1;
  DWORD sectorsPerTrack = 1;
  std::string descriptor; // the bytes of the storage query
  std::vector<SectorRange> unreadable, unwritable;
  // Ranges that fail the first request touching them, on each open handle, and then work.
  std::vector<SectorRange> unreadableOnce, unwritableOnce;
  // The drive's own request queue, as a disk has one: overlapped transfers are held until their
  // caller waits for one or polls, then served one request at a time, each taking
  // `requestMilliseconds`; with `mergedRequests`, the adjacent transfers of one direction that
  // are queued together make one request, which fails whole when it touches a failing sector.
  // Each request is appended to `requestLog` (absolute path) when it is given.
  bool mergedRequests = false;
  std::uint64_t requestMilliseconds = 0;
  std::string requestLog;
  bool queued() const { return mergedRequests || requestMilliseconds > 0 || !requestLog.empty(); }
  Failures failures;
  std::string systemName; // what the system under the layer would call it ("/dev/sdb")
  StandIns standIns;
};

struct SimulatedVolume {
  std::string guid;       // lower case
  std::string listedName; // what the volume walk delivers
  std::vector<Extent> extents;
  DWORD partitionNumber = 0;
  std::string fileSystem, label;
  std::string letters; // upper case, as the file gives them
  bool mounted = true;
  DWORD serialNumber = 0;
  Failures failures;
  std::vector<std::string> mountPoints; // the system's own, beside the drive letter
};

// Everything a machine file describes.
struct MachineDescription {
  std::vector<SimulatedDrive> drives;
  std::vector<SimulatedVolume> volumes;
  std::string extraLetters; // letters without a volume (a drive without a medium)
  Failures failures;

  const SimulatedDrive* drive(DWORD number) const;
};

// Reads the parsed machine file `top`; image paths are taken relative to `folder`. Sets the
// variables of its "environment" that are not set yet. Throws std::runtime_error with the
// place and the reason of the first fault.
MachineDescription read_machine_file(const config::Value& top, const std::string& folder);

} // namespace platform
