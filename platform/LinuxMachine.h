// The real machine: this Linux system's block devices as physical drives and volumes.
#pragma once

#include "Machine.h"

#include <string>
#include <vector>

namespace platform {

class LinuxMachine : public Machine {
public:
  // Sets SYSTEMDRIVE, PROGRAMFILES and APPDATA, those that are not set yet, to the drive
  // letters of the file systems that hold "/", "/usr" and the home folder.
  LinuxMachine();

  std::unique_ptr<Device> open(const std::string& path, DWORD access, DWORD flags) override;
  bool volume_names(std::vector<std::string>& names) override;
  bool volume_information(const std::string& root, VolumeInformation& info) override;
  DWORD logical_drives() override;
  // Drive letters are only names of mounted file systems here: fails with
  // ERROR_NOT_SUPPORTED.
  bool delete_mount_point(char letter) override;
  // "/dev/" and the kernel's name of the disk.
  bool system_name(DWORD number, std::string& name) override;
  // The drive letter's root, then the mount points of the file system on the volume (also
  // those of a device-mapper or md device on it).
  bool volume_path_names(const std::string& guid, std::vector<std::string>& paths) override;
  // The letter of the mounted file system that holds `path` (in VolumePathName.cpp).
  bool volume_path_name(const std::string& path, std::string& root) override;
};

// The kernel names of the physical drives, by drive number ("vda", "loop3").
std::vector<std::string> linux_drive_names();

} // namespace platform
