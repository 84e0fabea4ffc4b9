#include "LinuxBlock.h"

#include "DebugLog.h"

#include <blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>

namespace platform::linux_block {

namespace {

// What is left to read of `fd`; false when reading fails.
bool read_all(int fd, std::string& text) {
  text.clear();
  char block[4096];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n == 0;
    text.append(block, static_cast<std::size_t>(n));
  }
}

// A sysfs or procfs file as it stands; false when it cannot be read.
bool read_file(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool read = read_all(fd, text);
  ::close(fd);
  return read;
}

// A small sysfs or procfs file without its line end; false when it cannot be read.
bool read_text(const std::string& path, std::string& text) {
  if (!read_file(path, text))
    return false;
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

// Why the whole disk `name` of /sys/block is no physical drive; null when it is one.
const char* not_a_drive(const std::string& name) {
  const std::string base = "/sys/block/" + name;
  if (!exists(base + "/device"))
    return "it sits on no device (ram, zram, device-mapper, md and the like)";
  if (name.rfind("sr", 0) == 0 || text_of(base + "/device/type") == "5")
    return "an optical drive";
  if (text_of(base + "/hidden") == "1")
    return "a path of a multipath NVMe namespace, not the namespace";
  if (name.rfind("mmcblk", 0) == 0 &&
      (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos))
    return "a boot or replay-protected area of an eMMC";
  return nullptr;
}

// Whether `entry` of a disk's sysfs folder can be one of its partitions: the kernel names them
// after the disk ("sda1", "nvme0n1p1"), and the other entries of the folder are attributes.
bool partition_name(const std::string& entry, const std::string& diskName) {
  if (entry.size() <= diskName.size() || entry.compare(0, diskName.size(), diskName) != 0)
    return false;
  std::size_t rest = diskName.size();
  if (entry[rest] == 'p')
    ++rest;
  return rest < entry.size() &&
         std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(rest), entry.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
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

// A table of procfs whose changes the kernel signals through poll(): the mounts of a mount
// namespace and the swap areas. Its text is read again only when poll() has told of a change
// since the last reading, so that asking often costs one call.
class WatchedTable {
public:
  explicit WatchedTable(const char* path) : path(path) {}

  // Whether `text` holds the table as it is now: true when it was read again (or could not be
  // read, and is then empty), false when it is unchanged since the last call.
  bool read_if_changed(std::string& text) {
    if (fd >= 0) { // kept open only after a reading that succeeded
      pollfd watch = {fd, POLLPRI, 0};
      const int events = poll(&watch, 1, 0);
      if (events == 0 || (events == 1 && (watch.revents & (POLLERR | POLLPRI)) == 0))
        return false;
    }
    // After the poll that told of the change: a change made while reading is told next time.
    if (fd < 0)
      fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0 || !read_all(fd, text)) {
      text.clear();
      if (fd >= 0)
        ::close(fd);
      fd = -1;
    }
    return true;
  }

  // Lets go of the table, which is read again when next asked.
  void forget() {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }

private:
  const char* path;
  int fd = -1;
};

// What says whether the block devices changed: each device of /sys/class/block with the inode
// of its entry (a device removed and made anew, partitions included, gets a new one), the sizes
// of /proc/partitions, and the loop devices asked for with whether each has a backing file. Both
// listings stay open, so that looking again costs a few calls.
class BlockDevices {
public:
  // The listing as it is now; empty when neither can be read.
  std::string now() {
    std::string listing;
    if (classes == nullptr)
      classes = opendir("/sys/class/block");
    if (classes != nullptr) {
      rewinddir(classes);
      while (dirent* entry = readdir(classes)) {
        listing += entry->d_name;
        listing += ':' + std::to_string(entry->d_ino) + ' ';
        if (std::strncmp(entry->d_name, "loop", 4) == 0 && loop_wanted(entry->d_name))
          listing += exists(std::string("/sys/block/") + entry->d_name + "/loop/backing_file")
                         ? "+ "
                         : "- ";
      }
    }
    if (partitions < 0)
      partitions = ::open("/proc/partitions", O_RDONLY | O_CLOEXEC);
    std::string sizes;
    if (partitions >= 0 && lseek(partitions, 0, SEEK_SET) == 0 && read_all(partitions, sizes))
      listing += sizes;
    return listing;
  }

  // Lets go of the listings, which are opened again when next asked.
  void forget() {
    if (classes != nullptr)
      closedir(classes);
    classes = nullptr;
    if (partitions >= 0)
      ::close(partitions);
    partitions = -1;
  }

private:
  DIR* classes = nullptr;
  int partitions = -1;
};

// What the layer keeps of the machine between calls, each part under its own lock: the disks
// and their identities as last read, with what the block devices were then; the mount table and
// the swap areas, with their watches.
struct Known {
  std::mutex disksMutex;
  BlockDevices blockDevices;
  std::string devices; // empty until the disks were read with a listing to compare
  std::vector<Disk> disks;
  std::map<std::string, Identity> identities; // of the disks as last read

  std::mutex tablesMutex;
  WatchedTable mountTable{"/proc/self/mountinfo"};
  std::vector<Mount> mounts;
  WatchedTable swapTable{"/proc/swaps"};
  std::set<dev_t> swaps;
};

Known& what_is_known();

// A child made by fork() would share the open listings and tables with its parent: where their
// reads stand, and which changes were told. It opens its own instead. Nothing may be half
// changed at the fork, so the locks are held across it.
void before_fork() {
  what_is_known().disksMutex.lock();
  what_is_known().tablesMutex.lock();
}

void after_fork_in_parent() {
  what_is_known().tablesMutex.unlock();
  what_is_known().disksMutex.unlock();
}

void after_fork_in_child() {
  Known& known = what_is_known();
  known.blockDevices.forget();
  known.mountTable.forget();
  known.swapTable.forget();
  after_fork_in_parent();
}

Known& what_is_known() {
  // Never destroyed: handles still open when the process exits may ask while it ends.
  static Known& known = []() -> Known& {
    Known& made = *new Known;
    pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    return made;
  }();
  return known;
}

std::set<dev_t> swap_devices() {
  Known& known = what_is_known();
  std::lock_guard<std::mutex> lock(known.tablesMutex);
  std::string text;
  if (!known.swapTable.read_if_changed(text))
    return known.swaps;
  known.swaps.clear();
  std::istringstream swaps(text);
  std::string line;
  std::getline(swaps, line); // the heading
  while (std::getline(swaps, line)) {
    std::istringstream fields(line);
    std::string path;
    fields >> path;
    struct stat status;
    if (stat(unescape_mount_text(path).c_str(), &status) == 0 && S_ISBLK(status.st_mode))
      known.swaps.insert(status.st_rdev);
  }
  return known.swaps;
}

bool has_holders(dev_t dev) { return !entries(sys_dev(dev) + "/holders").empty(); }

// The listed volume that carries `dev`: the volume itself, or the first volume found under
// the device-mapper or md devices that `dev` is built on. -1 when there is none.
int carrier(dev_t dev, const std::vector<Volume>& volumes, int depth = 0) {
  for (std::size_t i = 0; i < volumes.size(); ++i)
    if (volumes[i].dev == dev)
      return static_cast<int>(i);
  if (depth > 8 || major(dev) == 0)
    return -1; // an anonymous device (proc, tmpfs, ...) is built on no block device
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
  // The entry links to the device's folder, whose path names the buses it hangs on
  // ("../devices/pci0000:00/.../usb1/..."): one call where resolving the path takes one a folder.
  char real[PATH_MAX];
  const ssize_t length = readlink(("/sys/block/" + name).c_str(), real, sizeof real - 1);
  if (length < 0 && realpath(("/sys/block/" + name).c_str(), real) == nullptr)
    return BusTypeUnknown;
  if (length >= 0)
    real[length] = '\0';
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

// The names of the physical drives; every other block device is logged with the reason it is
// none (each time the block devices are read anew, which is when they change).
std::vector<std::string> drive_names() {
  std::vector<std::string> wholes, loops;
  for (const std::string& name : entries("/sys/block")) {
    const char* skipped = nullptr;
    if (name.rfind("loop", 0) == 0) {
      if (!loop_wanted(name))
        skipped = "a loop device that CVW_LOOP_DEVICES does not ask for";
      else if (!exists("/sys/block/" + name + "/loop/backing_file"))
        skipped = "a loop device without a backing file";
      else
        loops.push_back(name);
    } else if ((skipped = not_a_drive(name)) == nullptr) {
      wholes.push_back(name);
    }
    if (skipped != nullptr)
      debug_log() << "LinuxBlock.cpp(412): " << node(name) << " is no drive: " << skipped << "\n";
  }
  std::sort(wholes.begin(), wholes.end(), natural_less);
  std::sort(loops.begin(), loops.end(), natural_less);
  wholes.insert(wholes.end(), loops.begin(), loops.end());
  return wholes;
}

Disk read_disk(const std::string& name, DWORD number) {
  Disk disk;
  disk.name = name;
  disk.number = number;
  dev_of(name, disk.dev);
  const std::string base = "/sys/block/" + name;
  disk.length = number_of(base + "/size") * 512; // sysfs counts 512-byte units on every disk
  for (const std::string& entry : entries(base)) {
    const std::string folder = base + "/" + entry;
    if (!partition_name(entry, name) || !exists(folder + "/partition"))
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

Identity read_identity(const std::string& diskName) {
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

// Reads the disks again when the block devices changed since they were read; `known` is locked.
void refresh(Known& known) {
  std::string devices = known.blockDevices.now();
  if (!devices.empty() && devices == known.devices)
    return; // (nothing to compare with where neither listing can be read)
  known.disks.clear();
  known.identities.clear();
  for (const std::string& name : drive_names())
    known.disks.push_back(read_disk(name, static_cast<DWORD>(known.disks.size())));
  known.devices = std::move(devices);
}

} // namespace

std::string node(const std::string& name) { return "/dev/" + name; }

std::vector<Disk> disks() {
  Known& known = what_is_known();
  std::lock_guard<std::mutex> lock(known.disksMutex);
  refresh(known);
  return known.disks;
}

std::vector<Mount> mounts() {
  Known& known = what_is_known();
  std::lock_guard<std::mutex> lock(known.tablesMutex);
  std::string text;
  if (!known.mountTable.read_if_changed(text))
    return known.mounts;
  known.mounts.clear();
  std::istringstream info(text);
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
    known.mounts.push_back(mount);
  }
  return known.mounts;
}

bool in_use(dev_t dev) {
  for (const Mount& mount : mounts())
    if (mount.dev == dev)
      return true;
  return swap_devices().count(dev) != 0 || has_holders(dev);
}

bool carries_signature(const Disk& disk) {
  Signature signature;
  return probe(disk.name, signature);
}

std::vector<Volume> volumes(const std::vector<Disk>& disks,
                            const std::function<bool(const Disk&)>& unusedIsVolume) {
  return volumes(disks, mounts(), unusedIsVolume);
}

std::vector<Volume> volumes(const std::vector<Disk>& disks, const std::vector<Mount>& mounted,
                            const std::function<bool(const Disk&)>& unusedIsVolume) {
  const std::set<dev_t> swaps = swap_devices();
  std::vector<Volume> result;
  for (const Disk& disk : disks) {
    for (const Partition& partition : disk.partitions)
      result.push_back({partition.name, partition.dev, disk.number, partition.number,
                        partition.offset, partition.length, 0});
    if (!disk.partitions.empty())
      continue;
    bool used = swaps.count(disk.dev) != 0;
    for (const Mount& mount : mounted)
      used = used || mount.dev == disk.dev;
    if (used || has_holders(disk.dev) || unusedIsVolume(disk))
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

std::string letter_path(const std::string& path, const std::vector<Volume>& volumes,
                        const std::vector<Mount>& mounted) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) == nullptr)
    return std::string();
  const std::string target = real;
  const Mount* best = nullptr;
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
  Known& known = what_is_known();
  std::lock_guard<std::mutex> lock(known.disksMutex);
  auto found = known.identities.find(diskName);
  if (found == known.identities.end())
    found = known.identities.emplace(diskName, read_identity(diskName)).first;
  return found->second;
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

StandIns stand_ins(const std::string& diskName) {
  const std::string base = "/sys/block/" + diskName;
  const Identity known = identity(diskName);
  StandIns found;
  if (known.vendor.empty() && known.product.empty()) {
    std::string backing;
    char driver[PATH_MAX];
    const ssize_t length = readlink((base + "/device/driver").c_str(), driver, sizeof driver - 1);
    if (read_text(base + "/loop/backing_file", backing) && !backing.empty()) {
      found.model = {StandInBackingFile, backing};
    } else if (length > 0) {
      driver[length] = '\0';
      const char* slash = std::strrchr(driver, '/');
      found.model = {StandInDriver, slash != nullptr ? slash + 1 : driver};
    }
  }
  if (known.serial.empty()) {
    const std::string wwid = first_file(base, {"wwid", "device/wwid"});
    if (!wwid.empty())
      found.serial = {StandInIdentifier, wwid};
  }
  return found;
}

std::vector<std::string> mount_points(std::size_t volume, const std::vector<Volume>& volumes,
                                      const std::vector<Mount>& mounted) {
  std::vector<std::string> points;
  for (const Mount& mount : mounted)
    if (carrier(mount.dev, volumes) == static_cast<int>(volume) &&
        std::find(points.begin(), points.end(), mount.point) == points.end())
      points.push_back(mount.point);
  return points;
}

} // namespace platform::linux_block
