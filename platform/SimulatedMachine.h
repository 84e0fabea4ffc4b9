// The simulated machine: physical drives backed by image files and the volumes on them, as a
// machine file describes them (the format is in platform/README.md).
#pragma once

#include "Machine.h"
#include "SimulatedState.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

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
  Failures failures;
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
};

class SimulatedMachine : public Machine, public std::enable_shared_from_this<SimulatedMachine> {
public:
  // Reads the machine file. Returns null, with a debug-log line that names the fault, when the
  // file cannot be read or does not describe a machine. Sets the variables of its
  // "environment" that are not set yet.
  static std::shared_ptr<SimulatedMachine> load(const std::string& file);

  std::unique_ptr<Device> open(const std::string& path, DWORD access, DWORD flags) override;
  bool volume_names(std::vector<std::string>& names) override;
  bool volume_information(const std::string& root, VolumeInformation& info) override;
  DWORD logical_drives() override;
  bool delete_mount_point(char letter) override;

  const std::vector<SimulatedDrive>& drives() const { return drives_; }
  const std::vector<SimulatedVolume>& volumes() const { return volumes_; }
  const SimulatedState& state() const { return state_; }
  const SimulatedDrive* drive(DWORD number) const;

private:
  explicit SimulatedMachine(const std::string& file) : state_(file + ".state") {}
  // The volume with the current drive letter `letter`, or null; with `snapshot` of the state.
  const SimulatedVolume* volume_with_letter(char letter,
                                            const SimulatedState::Snapshot& snapshot) const;
  const SimulatedVolume* find_volume(const std::string& root, bool& noMedium) const;

  std::vector<SimulatedDrive> drives_;
  std::vector<SimulatedVolume> volumes_;
  std::string extraLetters_; // letters without a volume (a drive without a medium)
  Failures failures_;
  SimulatedState state_;

  friend class MachineFileReader;
};

} // namespace platform
