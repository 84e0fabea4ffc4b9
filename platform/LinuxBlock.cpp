#include "LinuxBlock.h"

#include <blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace platform::linux_block {

namespace {

// A small sysfs or procfs file without its line end; false when it cannot be read.
bool read_text(const std::string& path, std::string& text) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream)
    return false;
  std::ostringstream content;
  content << stream.rdbuf();
  text = content.str();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
    text.pop_back();
  return true;
}

std::string text_of(const std::string& path) {
  std::string text;
  read_text(path, text);
  return text;
}

bool exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

std::uint64_t number_of(const std::string& path) {
  std::string text;
  if (!read_text(path, text))
    return 0;
  return std::strtoull(text.c_str(), nullptr, 10);
}

bool parse_dev(const std::string& text, dev_t& dev) {
  unsigned major = 0, minor = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &extra) != 2)
    return false;
  dev = makedev(major, minor);
  return true;
}

bool dev_of(const std::string& name, dev_t& dev) {
  return parse_dev(text_of("/sys/class/block/" + name + "/dev"), dev);
}

std::string sys_dev(dev_t dev) {
  return "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr)
    return names;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  }
  closedir(dir);
  return names;
}

// Natural order: runs of digits compare as numbers, so sdb2 < sdb10 and loop9 < loop10.
bool natural_less(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
        ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
        ++ej;
      const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      const std::size_t za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
      const std::string ta = za == std::string::npos ? "" : na.substr(za);
      const std::string tb = zb == std::string::npos ? "" : nb.substr(zb);
      if (ta.size() != tb.size())
        return ta.size() < tb.size();
      if (ta != tb)
        return ta < tb;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j])
      return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

// Which loop devices CVW_LOOP_DEVICES asks for: all, none, or the names it lists.
bool loop_wanted(const std::string& name) {
  const char* setting = std::getenv("CVW_LOOP_DEVICES");
  if (setting == nullptr || *setting == '\0' || std::strcmp(setting, "0") == 0)
    return false;
  if (std::strcmp(setting, "1") == 0)
    return true;
  std::stringstream list(setting);
  std::string item;
  while (std::getline(list, item, ',')) {
    if (item.rfind("/dev/", 0) == 0)
      item = item.substr(5);
    if (item == name)
      return true;
  }
  return false;
}

bool whole_disk_wanted(const std::string& name) {
  const std::string base = "/sys/block/" + name;
  if (!exists(base + "/device"))
    return false; // ram, zram, loop, device-mapper, md and the like sit on no device
  if (name.rfind("sr", 0) == 0 || text_of(base + "/device/type") == "5")
    return false; // optical drives
  if (text_of(base + "/hidden") == "1")
    return false; // the per-path nodes of a multipath NVMe namespace
  if (name.rfind("mmcblk", 0) == 0 &&
      (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos))
    return false; // the boot and replay-protected areas of an eMMC
  return true;
}

Disk read_disk(const std::string& name) {
  Disk disk;
  disk.name = name;
  dev_of(name, disk.dev);
  const std::string base = "/sys/block/" + name;
  disk.length = number_of(base + "/size") * 512; // sysfs counts 512-byte units on every disk
  for (const std::string& entry : entries(base)) {
    const std::string folder = base + "/" + entry;
    if (!exists(folder + "/partition"))
      continue;
    Partition partition;
    partition.name = entry;
    if (!dev_of(entry, partition.dev))
      continue;
    partition.number = static_cast<DWORD>(number_of(folder + "/partition"));
    partition.offset = number_of(folder + "/start") * 512;
    partition.length = number_of(folder + "/size") * 512;
    if (partition.length <= 1024)
      continue; // the container of an extended partition table
    disk.partitions.push_back(partition);
  }
  std::sort(disk.partitions.begin(), disk.partitions.end(),
            [](const Partition& a, const Partition& b) { return a.number < b.number; });
  return disk;
}

std::string unescape_mount_text(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() &&
        std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                               (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::set<dev_t> swap_devices() {
  std::set<dev_t> devices;
  std::ifstream swaps("/proc/swaps");
  std::string line;
  std::getline(swaps, line); // the heading
  while (std::getline(swaps, line)) {
    std::istringstream fields(line);
    std::string path;
    fields >> path;
    struct stat status;
    if (stat(unescape_mount_text(path).c_str(), &status) == 0 && S_ISBLK(status.st_mode))
      devices.insert(status.st_rdev);
  }
  return devices;
}

bool has_holders(dev_t dev) { return !entries(sys_dev(dev) + "/holders").empty(); }

// The listed volume that carries `dev`: the volume itself, or the first volume found under
// the device-mapper or md devices that `dev` is built on. -1 when there is none.
int carrier(dev_t dev, const std::vector<Volume>& volumes, int depth = 0) {
  for (std::size_t i = 0; i < volumes.size(); ++i)
    if (volumes[i].dev == dev)
      return static_cast<int>(i);
  if (depth > 8)
    return -1;
  std::vector<int> found;
  for (const std::string& slave : entries(sys_dev(dev) + "/slaves")) {
    dev_t below = 0;
    if (dev_of(slave, below)) {
      const int index = carrier(below, volumes, depth + 1);
      if (index >= 0)
        found.push_back(index);
    }
  }
  return found.empty() ? -1 : *std::min_element(found.begin(), found.end());
}

std::string first_file(const std::string& base, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string text;
    if (read_text(base + "/" + name, text) && !text.empty())
      return text;
  }
  return std::string();
}

std::int32_t bus_type(const std::string& name) {
  if (name.rfind("loop", 0) == 0)
    return BusTypeFileBackedVirtual;
  if (name.rfind("nvme", 0) == 0)
    return BusTypeNvme;
  if (name.rfind("mmcblk", 0) == 0)
    return text_of("/sys/block/" + name + "/device/type") == "MMC" ? BusTypeMmc : BusTypeSd;
  char real[PATH_MAX];
  if (realpath(("/sys/block/" + name).c_str(), real) == nullptr)
    return BusTypeUnknown;
  const std::string path = real;
  if (path.find("/usb") != std::string::npos)
    return BusTypeUsb;
  if (path.find("/virtio") != std::string::npos)
    return BusTypeVirtual;
  if (path.find("/ata") != std::string::npos)
    return BusTypeSata;
  if (path.find("/session") != std::string::npos)
    return BusTypeiScsi;
  if (path.find("/end_device-") != std::string::npos)
    return BusTypeSas;
  if (path.find("/host") != std::string::npos)
    return BusTypeScsi;
  return BusTypeUnknown;
}

} // namespace

std::string node(const std::string& name) { return "/dev/" + name; }

std::vector<Disk> disks() {
  std::vector<std::string> wholes, loops;
  for (const std::string& name : entries("/sys/block")) {
    if (name.rfind("loop", 0) == 0) {
      if (loop_wanted(name) && exists("/sys/block/" + name + "/loop/backing_file"))
        loops.push_back(name);
    } else if (whole_disk_wanted(name)) {
      wholes.push_back(name);
    }
  }
  std::sort(wholes.begin(), wholes.end(), natural_less);
  std::sort(loops.begin(), loops.end(), natural_less);
  wholes.insert(wholes.end(), loops.begin(), loops.end());
  std::vector<Disk> result;
  for (const std::string& name : wholes) {
    Disk disk = read_disk(name);
    disk.number = static_cast<DWORD>(result.size());
    result.push_back(disk);
  }
  return result;
}

std::vector<Mount> mounts() {
  std::vector<Mount> result;
  std::ifstream info("/proc/self/mountinfo");
  std::string line;
  while (std::getline(info, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    Mount mount;
    if (!parse_dev(device, mount.dev))
      continue;
    mount.point = unescape_mount_text(point);
    const std::size_t separator = line.find(" - ");
    std::string source;
    if (separator != std::string::npos) {
      std::istringstream tail(line.substr(separator + 3));
      tail >> mount.type >> source;
    }
    // Some file systems (btrfs among them) show an anonymous device number; their source
    // names the block device.
    struct stat status;
    if (major(mount.dev) == 0 && source.rfind("/dev/", 0) == 0 &&
        stat(unescape_mount_text(source).c_str(), &status) == 0 && S_ISBLK(status.st_mode))
      mount.dev = status.st_rdev;
    result.push_back(mount);
  }
  return result;
}

bool in_use(dev_t dev) {
  for (const Mount& mount : mounts())
    if (mount.dev == dev)
      return true;
  return swap_devices().count(dev) != 0 || has_holders(dev);
}

std::vector<Volume> volumes(const std::vector<Disk>& disks, bool probeUnused) {
  const std::vector<Mount> mounted = mounts();
  const std::set<dev_t> swaps = swap_devices();
  std::vector<Volume> result;
  for (const Disk& disk : disks) {
    for (const Partition& partition : disk.partitions)
      result.push_back({partition.name, partition.dev, disk.number, partition.number,
                        partition.offset, partition.length, 0});
    if (!disk.partitions.empty())
      continue;
    bool used = swaps.count(disk.dev) != 0 || has_holders(disk.dev);
    for (const Mount& mount : mounted)
      used = used || mount.dev == disk.dev;
    Signature signature;
    if (used || (probeUnused && probe(disk.name, signature)))
      result.push_back({disk.name, disk.dev, disk.number, 1, 0, disk.length, 0});
  }
  int root = -1;
  std::set<int> lettered;
  for (const Mount& mount : mounted) {
    const int index = carrier(mount.dev, result);
    if (index < 0)
      continue;
    if (mount.point == "/")
      root = index; // the last mount at "/" is the one in sight
    lettered.insert(index);
  }
  char next = 'D';
  if (root >= 0)
    result[static_cast<std::size_t>(root)].letter = 'C';
  for (int index : lettered) {
    if (index == root || next > 'Z')
      continue;
    result[static_cast<std::size_t>(index)].letter = next++;
  }
  return result;
}

std::string volume_guid(dev_t dev) {
  char text[40];
  std::snprintf(text, sizeof text, "6376772d-0000-0000-%04x-%012llx", major(dev) & 0xFFFFu,
                static_cast<unsigned long long>(minor(dev)));
  return text;
}

bool volume_dev(const std::string& guid, dev_t& dev) {
  const std::string prefix = "6376772d-0000-0000-";
  if (guid.size() != 36 || guid.compare(0, prefix.size(), prefix) != 0)
    return false;
  const unsigned long major = std::strtoul(guid.substr(19, 4).c_str(), nullptr, 16);
  const unsigned long long minor = std::strtoull(guid.substr(24, 12).c_str(), nullptr, 16);
  dev = makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor));
  return volume_guid(dev) == guid;
}

std::string letter_path(const std::string& path, const std::vector<Volume>& volumes) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) == nullptr)
    return std::string();
  const std::string target = real;
  const Mount* best = nullptr;
  const std::vector<Mount> mounted = mounts();
  for (const Mount& mount : mounted) {
    const bool inside =
        mount.point == "/" || target == mount.point || target.rfind(mount.point + "/", 0) == 0;
    if (inside && (best == nullptr || mount.point.size() >= best->point.size()))
      best = &mount;
  }
  if (best == nullptr)
    return std::string();
  const int index = carrier(best->dev, volumes);
  if (index < 0 || volumes[static_cast<std::size_t>(index)].letter == 0)
    return std::string();
  std::string rest = best->point == "/" ? target : target.substr(best->point.size());
  std::replace(rest.begin(), rest.end(), '/', '\\');
  if (rest.empty() || rest[0] != '\\')
    rest = "\\" + rest;
  return std::string(1, volumes[static_cast<std::size_t>(index)].letter) + ":" + rest;
}

Identity identity(const std::string& diskName) {
  const std::string base = "/sys/block/" + diskName;
  Identity result;
  result.vendor = text_of(base + "/device/vendor");
  if (result.vendor.rfind("0x", 0) == 0)
    result.vendor.clear(); // a bus's numeric vendor code, not a name
  result.product = first_file(base, {"device/model", "device/name"});
  result.revision = first_file(base, {"device/rev", "device/firmware_rev", "device/fwrev"});
  result.serial = first_file(base, {"serial", "device/serial"});
  if (result.serial.empty()) {
    std::string page; // SCSI vital product data page 0x80: four header bytes, then the serial
    if (read_text(base + "/device/vpd_pg80", page) && page.size() > 4)
      result.serial = page.substr(4);
  }
  std::string::size_type nul = result.serial.find('\0');
  if (nul != std::string::npos)
    result.serial.resize(nul);
  result.removable = text_of(base + "/removable") == "1";
  result.busType = bus_type(diskName);
  return result;
}

bool probe(const std::string& name, Signature& signature) {
  const int fd = ::open(node(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return false;
  // The signatures lie near the start and the end of a device, in many small pieces that the
  // probe reads one by one: ask for both stretches at once, so that the device is visited twice
  // rather than once for each piece (the cache holds nothing after uncached writes).
  std::uint64_t bytes = 0;
  if (ioctl(fd, BLKGETSIZE64, &bytes) == 0) {
    const std::uint64_t stretch = std::min<std::uint64_t>(bytes, 1u << 20);
    posix_fadvise(fd, 0, static_cast<off_t>(stretch), POSIX_FADV_WILLNEED);
    posix_fadvise(fd, static_cast<off_t>(bytes - stretch), static_cast<off_t>(stretch),
                  POSIX_FADV_WILLNEED);
  }
  blkid_probe probe = blkid_new_probe();
  if (probe == nullptr || blkid_probe_set_device(probe, fd, 0, 0) != 0) {
    if (probe != nullptr)
      blkid_free_probe(probe);
    ::close(fd);
    return false;
  }
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_USAGE |
                                               BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
  const bool found = blkid_do_safeprobe(probe) == 0;
  if (found) {
    auto value = [&](const char* key) {
      const char* data = nullptr;
      return blkid_probe_lookup_value(probe, key, &data, nullptr) == 0 && data != nullptr
                 ? std::string(data)
                 : std::string();
    };
    signature.type = value("TYPE");
    signature.usage = value("USAGE");
    signature.label = value("LABEL");
    signature.uuid = value("UUID");
  }
  blkid_free_probe(probe);
  ::close(fd);
  return found;
}

} // namespace platform::linux_block
