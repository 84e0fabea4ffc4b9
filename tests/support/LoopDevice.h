// A loop device for tests and benchmarks of real block devices, over a fresh sparse image or
// over an image of the caller's. It needs root and a loop driver; `why_not` says why there is
// none, so that a test can skip. Everything it set up (mounts, partitions, loop device, its own
// image) is removed when it goes, also after a failure.
#pragma once

#include "TempDir.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

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
    std::string ignored;
    for (auto mount = partitionMounts.rbegin(); mount != partitionMounts.rend(); ++mount)
      if (is_mounted(mount->first))
        run("umount '" + mount->second + "'", ignored);
    if (partitioned)
      run("partx --delete '" + node_ + "'", ignored);
    if (!node_.empty())
      run("losetup --detach '" + node_ + "'", ignored);
  }

  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // Detaches the device and attaches `image` in its place, at the same node: the device's number
  // stays, and it is a new disk to the kernel. False when the node was taken by someone else in
  // between (or losetup fails); the object then owns no device, `output` says why.
  bool reattach(const std::string& image, unsigned sectorSize, std::string& output) {
    unmount();
    // The loop driver scans no partition tables here, so it keeps the partitions that partx
    // added after the detach: gone now, or whoever takes the node next would find them.
    if (partitioned)
      run("partx --delete '" + node_ + "'", output);
    partitioned = false;
    run("losetup --detach '" + node_ + "'", output);
    if (run("losetup --sector-size " + std::to_string(sectorSize) + " '" + node_ + "' '" + image +
                "'",
            output) != 0) {
      node_.clear(); // not ours any more: never detach what another has attached there
      whyNot_ = "the loop device was taken over: " + output;
      return false;
    }
    return true;
  }

  // Empty when the device is there; else why it is not.
  const std::string& why_not() const { return whyNot_; }
  const std::string& node() const { return node_; }    // "/dev/loop3"
  std::string name() const { return node_.substr(5); } // "loop3"
  const std::string& image() const { return image_; }
  const std::string& mount_point() const { return mountPoint_; }

  // Makes an ext4 file system with `label` on the whole device, or on the device `device`
  // (one of its partitions). Its tables are written at once, so that the file system writes
  // nothing of its own accord once mounted. False when mkfs fails or is missing; `output` then
  // says why.
  bool make_ext4(const std::string& label, std::string& output, const std::string& device = "") {
    return run("mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 -L '" + label + "' '" +
                   (device.empty() ? node_ : device) + "'",
               output) == 0;
  }

  // Writes a partition table (MBR) with one Linux partition for each [offset, length] of
  // `ranges` (bytes, whole sectors) and has the kernel take those partitions in place of the
  // ones it had. False when that fails (partx is missing, say); `output` then says why.
  bool make_partitions(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges,
                       unsigned sectorSize, std::string& output) {
    std::string table(sectorSize, '\0');
    for (std::size_t i = 0; i < ranges.size() && i < 4; ++i) {
      char* entry = table.data() + 446 + 16 * i;
      entry[4] = static_cast<char>(0x83);
      const std::uint32_t fields[2] = {static_cast<std::uint32_t>(ranges[i].first / sectorSize),
                                       static_cast<std::uint32_t>(ranges[i].second / sectorSize)};
      for (int field = 0; field < 2; ++field)
        for (int byte = 0; byte < 4; ++byte)
          entry[8 + 4 * field + byte] = static_cast<char>(fields[field] >> (8 * byte));
    }
    table[510] = static_cast<char>(0x55);
    table[511] = static_cast<char>(0xAA);
    {
      std::fstream device(node_, std::ios::in | std::ios::out | std::ios::binary);
      device.write(table.data(), static_cast<std::streamsize>(table.size()));
      if (!device.flush()) {
        output = "cannot write the partition table to " + node_;
        return false;
      }
    }
    run("partx --delete '" + node_ + "'", output);
    partitioned = true;
    return ranges.empty() || run("partx --add '" + node_ + "'", output) == 0;
  }

  // "/dev/loop3p2" for partition 2.
  std::string partition_node(int number) const { return node_ + "p" + std::to_string(number); }

  // Mounts partition `number` on a folder of its own, which `point` receives.
  bool mount_partition(int number, std::string& point, std::string& output) {
    point = folder.file("mnt" + std::to_string(number));
    std::string ignored;
    run("mkdir -p '" + point + "'", ignored);
    if (run("mount '" + partition_node(number) + "' '" + point + "'", output) != 0)
      return false;
    partitionMounts.emplace_back(partition_node(number), point);
    return true;
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

  // True while the device (or `device`, one of its partitions) is mounted somewhere, as this
  // process's mount table says.
  bool is_mounted(const std::string& device = "") const {
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
      if (line.rfind((device.empty() ? node_ : device) + " ", 0) == 0)
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
  bool partitioned = false;
  std::vector<std::pair<std::string, std::string>> partitionMounts; // device, folder
};
