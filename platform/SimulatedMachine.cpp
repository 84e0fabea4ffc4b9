// The simulated machine: drives backed by image files, volumes on them, and the failures that
// the machine file switches on.
//
// Implements just enough of a Windows machine's drives and volumes for this project's tests
// and demonstrations: the machine file is read in MachineFile.cpp, the opened devices live in
// SimulatedDevice.cpp, and the state that processes share in SimulatedState.cpp.
#include "SimulatedMachine.h"

#include "ConfigValue.h"
#include "DebugLog.h"
#include "DevicePath.h"
#include "SimulatedDevice.h"

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace platform {

namespace {

bool fail_with(DWORD code) {
  SetLastError(code);
  return false;
}

} // namespace

std::shared_ptr<SimulatedMachine> SimulatedMachine::load(const std::string& file,
                                                         std::string& fault) {
  std::ifstream stream(file, std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  if (!stream) {
    fault = "SimulatedMachine.cpp(478): " + file + ": the machine file cannot be read";
    return nullptr;
  }
  config::Value top;
  if (!top.parse(text.str().c_str())) {
    fault = "SimulatedMachine.cpp(483): " + file +
            ": the machine file is not in the text form of values";
    return nullptr;
  }
  const std::string folder = std::filesystem::path(file).parent_path().string();
  try {
    return std::shared_ptr<SimulatedMachine>(
        new SimulatedMachine(file, read_machine_file(top, folder.empty() ? "." : folder)));
  } catch (const std::exception& error) {
    fault = "SimulatedMachine.cpp(492): " + file + ": " + error.what();
    return nullptr;
  }
}

const SimulatedVolume*
SimulatedMachine::volume_with_letter(char letter, const SimulatedState::Snapshot& snapshot) const {
  if (snapshot.deletedLetters.find(letter) != std::string::npos)
    return nullptr;
  for (const SimulatedVolume& volume : described_.volumes)
    if (volume.letters.find(letter) != std::string::npos)
      return &volume;
  return nullptr;
}

const SimulatedVolume* SimulatedMachine::find_volume(const std::string& path,
                                                     bool& noMedium) const {
  noMedium = false;
  const DevicePath parsed = parse_device_path(path);
  if (parsed.kind == DevicePath::Letter) {
    SimulatedState::Snapshot snapshot;
    if (!state_.read(snapshot))
      return nullptr;
    const SimulatedVolume* volume = volume_with_letter(parsed.letter, snapshot);
    noMedium = volume == nullptr &&
               described_.extraLetters.find(parsed.letter) != std::string::npos &&
               snapshot.deletedLetters.find(parsed.letter) == std::string::npos;
    return volume;
  }
  for (const SimulatedVolume& volume : described_.volumes) {
    if (parsed.kind == DevicePath::Volume ? volume.guid == parsed.guid
                                          : volume.listedName == path + "\\")
      return &volume;
  }
  return nullptr;
}

std::unique_ptr<Device> SimulatedMachine::open(const std::string& path, DWORD access, DWORD flags) {
  const DevicePath parsed = parse_device_path(path);
  const SimulatedDrive* drive = nullptr;
  const SimulatedVolume* volume = nullptr;
  if (parsed.kind == DevicePath::Drive) {
    drive = this->drive(parsed.number);
    if (drive == nullptr) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
  } else {
    bool noMedium = false;
    volume = find_volume(path, noMedium);
    if (volume == nullptr) {
      SetLastError(noMedium                           ? ERROR_NOT_READY
                   : parsed.kind != DevicePath::Other ? ERROR_FILE_NOT_FOUND
                                                      : unknown_path_error(path));
      return nullptr;
    }
  }
  return open_simulated_device(shared_from_this(), drive, volume, access, flags);
}

bool SimulatedMachine::volume_names(std::vector<std::string>& names) {
  auto failed = described_.failures.find("FindFirstVolumeA");
  if (failed != described_.failures.end())
    return fail_with(failed->second);
  names.clear();
  for (const SimulatedVolume& volume : described_.volumes)
    names.push_back(volume.listedName);
  return true;
}

bool SimulatedMachine::volume_information(const std::string& root, VolumeInformation& info) {
  const DevicePath parsed = parse_root_path(root);
  if (root.empty() || root.back() != '\\')
    return fail_with(ERROR_INVALID_NAME);
  const std::string bare = parsed.kind == DevicePath::Letter
                               ? std::string("\\\\.\\") + parsed.letter + ":"
                               : root.substr(0, root.size() - 1);
  bool noMedium = false;
  const SimulatedVolume* volume = find_volume(bare, noMedium);
  if (volume == nullptr)
    return fail_with(noMedium ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
  auto failed = volume->failures.find("GetVolumeInformationA");
  if (failed != volume->failures.end())
    return fail_with(failed->second);
  if (!volume->mounted)
    return fail_with(ERROR_UNRECOGNIZED_VOLUME);
  info.label = volume->label;
  info.fileSystem = volume->fileSystem;
  info.serialNumber = volume->serialNumber;
  return true;
}

DWORD SimulatedMachine::logical_drives() {
  auto failed = described_.failures.find("GetLogicalDrives");
  if (failed != described_.failures.end()) {
    SetLastError(failed->second);
    return 0;
  }
  SimulatedState::Snapshot snapshot;
  if (!state_.read(snapshot))
    return 0;
  DWORD mask = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (snapshot.deletedLetters.find(letter) != std::string::npos)
      continue;
    if (volume_with_letter(letter, snapshot) != nullptr ||
        described_.extraLetters.find(letter) != std::string::npos)
      mask |= 1u << (letter - 'A');
  }
  return mask;
}

bool SimulatedMachine::delete_mount_point(char letter) {
  SimulatedState::Snapshot snapshot;
  if (!state_.read(snapshot))
    return false;
  const SimulatedVolume* volume = volume_with_letter(letter, snapshot);
  if (volume == nullptr) {
    const bool noMedium = described_.extraLetters.find(letter) != std::string::npos &&
                          snapshot.deletedLetters.find(letter) == std::string::npos;
    return fail_with(noMedium ? ERROR_NOT_READY : ERROR_FILE_NOT_FOUND);
  }
  auto failed = volume->failures.find("DeleteVolumeMountPointA");
  if (failed != volume->failures.end())
    return fail_with(failed->second);
  return state_.update([&](SimulatedState::Snapshot& current) {
    if (current.deletedLetters.find(letter) == std::string::npos)
      current.deletedLetters += letter;
    return true;
  });
}

bool SimulatedMachine::system_name(DWORD number, std::string& name) {
  const SimulatedDrive* described = drive(number);
  if (described == nullptr || described->systemName.empty())
    return fail_with(ERROR_FILE_NOT_FOUND);
  name = described->systemName;
  return true;
}

bool SimulatedMachine::volume_path_names(const std::string& guid, std::vector<std::string>& paths) {
  SimulatedState::Snapshot snapshot;
  if (!state_.read(snapshot))
    return false;
  for (const SimulatedVolume& volume : described_.volumes) {
    if (volume.guid != guid)
      continue;
    paths.clear();
    for (char letter : volume.letters)
      if (snapshot.deletedLetters.find(letter) == std::string::npos)
        paths.push_back(std::string(1, letter) + ":\\");
    paths.insert(paths.end(), volume.mountPoints.begin(), volume.mountPoints.end());
    return true;
  }
  return fail_with(ERROR_FILE_NOT_FOUND);
}

} // namespace platform
