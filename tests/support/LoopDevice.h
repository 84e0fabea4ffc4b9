// A loop device for tests and benchmarks of real block devices, over a fresh sparse image or
// over an image of the caller's. It needs root and a loop driver; `why_not` says why there is
// none, so that a test can skip. Everything it set up (mount, loop device, its own image) is
// removed when it goes, also after a failure.
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
  // Over a fresh sparse image of `bytes` bytes in a folder of its own.
  LoopDevice(std::uint64_t bytes, unsigned sectorSize) {
    if (!can_attach())
      return;
    image_ = folder.file("loop.img");
    if (truncate_image(bytes) != 0) {
      whyNot_ = "cannot make the image " + image_;
      return;
    }
    attach(sectorSize);
  }

  // Over the existing image file `image`, which stays when the device goes; with `directIo`
  // the loop driver reads and writes the image with direct input and output.
  LoopDevice(const std::string& image, unsigned sectorSize, bool directIo = false) {
    if (!can_attach())
      return;
    image_ = image;
    attach(sectorSize, directIo);
  }

  ~LoopDevice() {
    unmount();
    if (!node_.empty()) {
      std::string ignored;
      run("losetup --detach '" + node_ + "'", ignored);
    }
  }

  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // Empty when the device is there; else why it is not.
  const std::string& why_not() const { return whyNot_; }
  const std::string& node() const { return node_; }    // "/dev/loop3"
  std::string name() const { return node_.substr(5); } // "loop3"
  const std::string& image() const { return image_; }
  const std::string& mount_point() const { return mountPoint_; }

  // Makes an ext4 file system with `label` on the whole device. False when mkfs fails or is
  // missing; `output` then says why.
  bool make_ext4(const std::string& label, std::string& output) {
    return run("mkfs.ext4 -q -F -L '" + label + "' '" + node_ + "'", output) == 0;
  }

  bool mount(std::string& output) {
    mountPoint_ = folder.file("mnt");
    std::string ignored;
    run("mkdir -p '" + mountPoint_ + "'", ignored);
    if (run("mount '" + node_ + "' '" + mountPoint_ + "'", output) != 0)
      return false;
    mounted = true;
    return true;
  }

  // True while the device is mounted somewhere, as this process's mount table says.
  bool is_mounted() const {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
      if (line.rfind(node_ + " ", 0) == 0)
        return true;
    return false;
  }

  void unmount() {
    if (!mounted)
      return;
    std::string ignored;
    if (is_mounted())
      run("umount '" + mountPoint_ + "'", ignored);
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
  bool can_attach() {
    if (geteuid() == 0)
      return true;
    whyNot_ = "not root: setting up a loop device needs root";
    return false;
  }

  void attach(unsigned sectorSize, bool directIo = false) {
    std::string output;
    const int status = run("losetup --find --show --sector-size " + std::to_string(sectorSize) +
                               (directIo ? " --direct-io=on" : "") + " '" + image_ + "'",
                           output);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
      output.pop_back();
    if (status != 0 || output.rfind("/dev/loop", 0) != 0) {
      whyNot_ = "no loop device: losetup said: " + output;
      return;
    }
    node_ = output;
  }

  int truncate_image(std::uint64_t bytes) {
    std::ofstream(image_, std::ios::binary).close();
    return ::truncate(image_.c_str(), static_cast<off_t>(bytes));
  }

  TempDir folder;
  std::string whyNot_;
  std::string image_;
  std::string node_;
  std::string mountPoint_;
  bool mounted = false;
};
