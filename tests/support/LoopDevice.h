// A loop device over a fresh sparse image, for tests of real block devices. It needs root and
// a loop driver; `problem` says why there is none, so that the test can skip. Everything it
// set up (mount, loop device, image) is removed when it goes, also after a failure.
#pragma once

#include "TempDir.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

class LoopDevice {
public:
  LoopDevice(std::uint64_t bytes, unsigned sectorSize) {
    if (geteuid() != 0) {
      problem = "not root: setting up a loop device needs root";
      return;
    }
    imagePath = folder.file("loop.img");
    if (truncate_image(bytes) != 0) {
      problem = "cannot make the image " + imagePath;
      return;
    }
    std::string output;
    const int status = run("losetup --find --show --sector-size " + std::to_string(sectorSize) +
                               " '" + imagePath + "'",
                           output);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
      output.pop_back();
    if (status != 0 || output.rfind("/dev/loop", 0) != 0) {
      problem = "no loop device: losetup said: " + output;
      return;
    }
    devicePath = output;
  }

  ~LoopDevice() {
    unmount();
    if (!devicePath.empty()) {
      std::string ignored;
      run("losetup --detach '" + devicePath + "'", ignored);
    }
  }

  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // Empty when the device is there; else why it is not.
  const std::string& why_not() const { return problem; }
  const std::string& node() const { return devicePath; }    // "/dev/loop3"
  std::string name() const { return devicePath.substr(5); } // "loop3"
  const std::string& image() const { return imagePath; }
  const std::string& mount_point() const { return mountPath; }

  // Makes an ext4 file system with `label` on the whole device. False when mkfs fails or is
  // missing; `output` then says why.
  bool make_ext4(const std::string& label, std::string& output) {
    return run("mkfs.ext4 -q -F -L '" + label + "' '" + devicePath + "'", output) == 0;
  }

  bool mount(std::string& output) {
    mountPath = folder.file("mnt");
    std::string ignored;
    run("mkdir -p '" + mountPath + "'", ignored);
    if (run("mount '" + devicePath + "' '" + mountPath + "'", output) != 0)
      return false;
    mounted = true;
    return true;
  }

  // True while the device is mounted somewhere, as this process's mount table says.
  bool is_mounted() const {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
      if (line.rfind(devicePath + " ", 0) == 0)
        return true;
    return false;
  }

  void unmount() {
    if (!mounted)
      return;
    std::string ignored;
    if (is_mounted())
      run("umount '" + mountPath + "'", ignored);
    mounted = false;
  }

  // Runs a shell command; its standard output and error go to `output`. Returns its status.
  static int run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
      return -1;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
      output += chunk;
    return pclose(pipe);
  }

private:
  int truncate_image(std::uint64_t bytes) {
    std::ofstream(imagePath, std::ios::binary).close();
    return ::truncate(imagePath.c_str(), static_cast<off_t>(bytes));
  }

  TempDir folder;
  std::string problem;
  std::string imagePath;
  std::string devicePath;
  std::string mountPath;
  bool mounted = false;
};
