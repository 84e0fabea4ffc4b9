// The simulated machine: physical drives backed by image files and the volumes on them, as a
// machine file describes them (the format is in platform/README.md).
#pragma once

#include "Machine.h"
#include "MachineFile.h"
#include "SimulatedState.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

class SimulatedMachine : public Machine, public std::enable_shared_from_this<SimulatedMachine> {
public:
  // Reads the machine file. Returns null when the file cannot be read or does not describe a
  // machine, and `fault` is then the debug-log line (without its line feed) that names the file
  // and the fault. Sets the variables of its "environment" that are not set yet.
  static std::shared_ptr<SimulatedMachine> load(const std::string& file, std::string& fault);

  std::unique_ptr<Device> open(const std::string& path, DWORD access, DWORD flags) override;
  bool volume_names(std::vector<std::string>& names) override;
  bool volume_information(const std::string& root, VolumeInformation& info) override;
  DWORD logical_drives() override;
  bool delete_mount_point(char letter) override;
  bool system_name(DWORD number, std::string& name) override;
  bool volume_path_names(const std::string& guid, std::vector<std::string>& paths) override;

  const std::vector<SimulatedDrive>& drives() const { return described_.drives; }
  const std::vector<SimulatedVolume>& volumes() const { return described_.volumes; }
  const SimulatedState& state() const { return state_; }
  const SimulatedDrive* drive(DWORD number) const { return described_.drive(number); }

private:
  SimulatedMachine(const std::string& file, MachineDescription described)
      : described_(std::move(described)), state_(file + ".state") {}
  // The volume with the current drive letter `letter`, or null; with `snapshot` of the state.
  const SimulatedVolume* volume_with_letter(char letter,
                                            const SimulatedState::Snapshot& snapshot) const;
  const SimulatedVolume* find_volume(const std::string& root, bool& noMedium) const;

  MachineDescription described_;
  SimulatedState state_;
};

} // namespace platform
