// The real machine: Linux block devices behind the Win32 device calls.
//
// Implements just enough of a Windows machine's drives and volumes for this project, with the
// safety that Windows gives and Linux does not: a write through a disk or volume handle into
// the range of a volume that is mounted or held (mount, swap, device-mapper or md) is refused
// unless this process has that volume to itself. Having a device to itself means holding it
// open with O_EXCL, which the kernel grants only while nothing else claims it, and which keeps
// anyone from mounting it meanwhile. FSCTL_LOCK_VOLUME takes that claim; a write takes it on
// its own for the ranges it touches and keeps it until the handle is closed. Dismounting
// unmounts (never lazily). Nothing is written to fstab or made to outlast the process.
//
// As on Windows, transfers of a drive or volume handle bypass the system's cache: the device is
// opened with O_DIRECT, so that a write reaches the device and a read comes from it. A buffer
// that does not meet O_DIRECT's alignment goes through an aligned copy of its own.
#include "LinuxMachine.h"

#include "DebugLog.h"
#include "DevicePath.h"
#include "Errno.h"
#include "LinuxBlock.h"
#include "StorageDescriptor.h"
#include "TransferQueue.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace platform {

namespace lb = linux_block;

namespace {

// The devices this process holds with O_EXCL, shared by all its handles: the kernel gives one
// claim per device and open file, so a second handle of this process that wants a device it
// already holds shares the claim. A claim is a lock when a handle took it with
// FSCTL_LOCK_VOLUME (owner), else a guard taken by a write.
class Claims {
public:
  // Takes or shares the claim of `dev`; false with errno set when the kernel refuses it.
  bool take(dev_t dev, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = held.find(dev);
    if (found != held.end()) {
      ++found->second.users;
      return true;
    }
    const int fd = ::open(lb::node(name).c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    if (fd < 0)
      return false;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISBLK(status.st_mode) || status.st_rdev != dev) {
      ::close(fd);
      errno = ENODEV;
      return false;
    }
    held[dev] = {fd, 1, 0};
    return true;
  }

  // Makes the claim of `dev`, which the caller holds, the lock of `owner`. False when another
  // handle has it locked.
  bool make_lock(dev_t dev, std::uint64_t owner) {
    std::lock_guard<std::mutex> lock(mutex);
    Claim& claim = held.at(dev);
    if (claim.owner != 0 && claim.owner != owner)
      return false;
    claim.owner = owner;
    return true;
  }

  std::uint64_t lock_owner(dev_t dev) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = held.find(dev);
    return found != held.end() ? found->second.owner : 0;
  }

  void give_up(dev_t dev, std::uint64_t owner) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = held.find(dev);
    if (found == held.end())
      return;
    if (owner != 0 && found->second.owner == owner)
      found->second.owner = 0;
    if (--found->second.users == 0) {
      ::close(found->second.fd);
      held.erase(found);
    }
  }

  bool holds(dev_t dev) {
    std::lock_guard<std::mutex> lock(mutex);
    return held.count(dev) != 0;
  }

private:
  struct Claim {
    int fd;
    int users;
    std::uint64_t owner;
  };
  std::mutex mutex;
  std::map<dev_t, Claim> held;
};

// Never destroyed: handles still open when the process exits are closed by the destructor of
// the handle table, which may run after the destructors of statics made later than it.
Claims& claims() {
  static Claims& instance = *new Claims;
  return instance;
}

// The devices that handles of this process have open for writing, with a count of handles each.
class Writers {
public:
  void add(dev_t dev) {
    std::lock_guard<std::mutex> lock(mutex);
    ++open[dev];
  }

  void remove(dev_t dev) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = open.find(dev);
    if (found != open.end() && --found->second == 0)
      open.erase(found);
  }

  bool has(dev_t dev) {
    std::lock_guard<std::mutex> lock(mutex);
    return open.count(dev) != 0;
  }

private:
  std::mutex mutex;
  std::map<dev_t, int> open;
};

Writers& writers() {
  static Writers& instance = *new Writers; // never destroyed, as the claims
  return instance;
}

// Whether a whole disk without partitions that is neither mounted nor held is a volume: when it
// carries a file system or other signature, or when this process has it open for writing. The
// latter is listed without reading it: what it carries is about to be overwritten, and a wipe
// takes the disk's volumes for itself before it writes (as the walk after opening a disk does),
// so listing it makes that walk lock the disk at once rather than at its first write, and keeps
// the walk from waiting for the device (the cache holds nothing of a disk written uncached).
bool unused_disk_is_volume(const lb::Disk& disk) {
  return writers().has(disk.dev) || lb::carries_signature(disk);
}

bool no_unused_disk(const lb::Disk&) { return false; }

std::atomic<std::uint64_t> next_token{1};

bool fail_with(DWORD code) {
  SetLastError(code);
  return false;
}

bool fail_errno(int error) {
  set_last_error_from_errno(error);
  return false;
}

class LinuxDevice : public Device {
public:
  LinuxDevice(int fd, lb::Disk disk, const lb::Volume* volume, bool writing)
      : fd(fd), disk(std::move(disk)), volume(volume != nullptr), dev(0), writing(writing) {
    if (volume != nullptr) {
      dev = volume->dev;
      name = volume->name;
    } else {
      dev = this->disk.dev;
      name = this->disk.name;
    }
    if (writing)
      writers().add(dev);
  }

  ~LinuxDevice() override {
    queue.reset(); // waits for the transfers in flight
    release();
    if (fd >= 0)
      ::close(fd);
  }

  // Reads the sizes from the kernel and the identity from sysfs. False with the last error.
  bool make_facts(const lb::Volume* from) {
    std::uint64_t bytes = 0;
    int sector = 0;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0 || ioctl(fd, BLKSSZGET, &sector) != 0)
      return fail_errno(errno);
    facts_.volume = volume;
    facts_.diskNumber = disk.number;
    facts_.size = bytes;
    facts_.sectorSize = static_cast<std::uint32_t>(sector);
    const std::uint64_t diskBytes = volume ? disk.length : bytes;
    facts_.cylinders =
        sector > 0 ? static_cast<std::int64_t>(diskBytes / static_cast<std::uint64_t>(sector)) : 0;
    const lb::Identity who = lb::identity(disk.name);
    facts_.removable = who.removable;
    facts_.descriptor =
        build_storage_descriptor({who.vendor, who.product, who.revision,
                                  serial_as_swapped_hex(who.serial), who.removable, who.busType});
    // The device opened, not the name it was opened by: its disk's number, and the sequence
    // number that the kernel gives the disk anew at every attach and change of medium (none
    // before Linux 5.15), which a partition's descriptor gives as its disk's. A volume is named
    // by its disk, as on the simulated machine.
    struct stat status;
    if (fstat(fd, &status) == 0)
      facts_.identity[1] = static_cast<std::uint64_t>(volume ? disk.dev : status.st_rdev);
    std::uint64_t sequence = 0;
    int sequenceError = ENOTTY;
#ifdef BLKGETDISKSEQ
    if (ioctl(fd, BLKGETDISKSEQ, &sequence) != 0) {
      sequenceError = errno;
      sequence = 0;
    }
#endif
    // Without it a disk attached anew at the same device (an image in a loop device) passes for
    // the one it replaced: said once, as the same holds for every disk of this kernel.
    static std::atomic<bool> told{false};
    if (sequence == 0 && !told.exchange(true))
      debug_log() << "LinuxMachine.cpp(236): " << lb::node(disk.name)
                  << ": the kernel gives no disk sequence number (" << std::strerror(sequenceError)
                  << "): a disk is known by its device number alone\n";
    facts_.identity[0] = sequence;
    if (from != nullptr) {
      facts_.partitionNumber = from->partition;
      facts_.offset = from->offset;
      facts_.extents.push_back({disk.number, from->offset, bytes});
    }
    return true;
  }

  const DeviceFacts& facts() const override { return facts_; }

  StandIns stand_ins() const override { return lb::stand_ins(disk.name); }

  // The volumes of the disk as it is now (the walk's, for this disk alone): whether it is a
  // volume itself, when it has no partitions, is asked of it and of no other disk.
  bool volume_names(std::vector<std::string>& names) const override {
    if (volume)
      return Device::volume_names(names);
    names.clear();
    for (const lb::Disk& now : lb::disks()) {
      if (now.dev != disk.dev)
        continue;
      for (const lb::Volume& found : lb::volumes({now}, unused_disk_is_volume))
        names.push_back(volume_path(lb::volume_guid(found.dev)) + "\\");
    }
    return true;
  }

  bool read(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) override {
    Transfer transfer;
    transfer.offset = offset;
    transfer.buffer = buffer;
    transfer.length = length;
    move_now(transfer);
    done = transfer.done;
    return transfer.ok || fail_with(transfer.error);
  }

  bool write(std::uint64_t offset, const void* data, std::size_t length,
             std::size_t& done) override {
    done = 0;
    if (!may_write(offset, length))
      return fail_with(ERROR_ACCESS_DENIED);
    Transfer transfer;
    transfer.write = true;
    transfer.offset = offset;
    transfer.buffer = const_cast<void*>(data);
    transfer.length = length;
    move_now(transfer);
    done = transfer.done;
    return transfer.ok || fail_with(transfer.error);
  }

  // Overlapped: the queue moves the bytes. A buffer that O_DIRECT cannot take, and a write that
  // is refused, end at once.
  void start(Transfer& transfer) override {
    if (!aligned(transfer.buffer) ||
        (transfer.write && !may_write(transfer.offset, transfer.length))) {
      Device::start(transfer);
      return;
    }
    if (queue == nullptr)
      queue = make_transfer_queue(fd);
    queue->start(transfer);
  }

  void wait_for(Transfer& transfer) override {
    if (!transfer.finished.load(std::memory_order_acquire))
      queue->wait_for(transfer);
  }

  void poll() override {
    if (queue != nullptr)
      queue->poll();
  }

  bool keep_memory(void* start, std::size_t length) override {
    if (queue == nullptr)
      queue = make_transfer_queue(fd);
    return queue->keep_memory(start, length);
  }

  bool flush() override {
    while (fsync(fd) != 0) {
      if (errno != EINTR)
        return fail_errno(errno);
    }
    return true;
  }

  bool lock() override {
    if (locked)
      return true;
    const std::uint64_t owner = claims().lock_owner(dev);
    if (owner != 0)
      return fail_with(ERROR_ACCESS_DENIED); // another handle of this process has it
    if (!claims().take(dev, name))
      return fail_errno(errno); // EBUSY while mounted or held
    if (!claims().make_lock(dev, token)) {
      claims().give_up(dev, 0);
      return fail_with(ERROR_ACCESS_DENIED);
    }
    locked = true;
    return true;
  }

  // Unmounts every mount of the volume, the innermost first; a mount that is busy fails the
  // call (EBUSY) and stays. A volume without mounts is dismounted already.
  bool dismount() override {
    std::vector<std::string> points;
    for (const lb::Mount& mount : lb::mounts())
      if (mount.dev == dev)
        points.push_back(mount.point);
    std::sort(points.begin(), points.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& point : points) {
      if (umount2(point.c_str(), 0) != 0 && errno != EINVAL) // EINVAL: gone already
        return fail_errno(errno);
    }
    return true;
  }

  bool close() override {
    queue.reset();
    release();
    if (fd >= 0 && ::close(fd) != 0) {
      fd = -1;
      return fail_errno(errno);
    }
    fd = -1;
    return true;
  }

private:
  // O_DIRECT needs buffers aligned to the logical sector.
  bool aligned(const void* buffer) const {
    const std::uint64_t alignment = std::max<std::uint32_t>(facts_.sectorSize, 512);
    return reinterpret_cast<std::uintptr_t>(buffer) % alignment == 0;
  }

  // Moves the bytes of `transfer` in the calling thread, through an aligned copy when the
  // buffer is not aligned; fails with ERROR_NOT_ENOUGH_MEMORY when the copy cannot be had.
  void move_now(Transfer& transfer) {
    if (aligned(transfer.buffer)) {
      run_transfer_now(fd, transfer);
      return;
    }
    const std::size_t alignment = std::max<std::uint32_t>(facts_.sectorSize, 512);
    void* copy = nullptr;
    if (posix_memalign(&copy, alignment, std::max<std::size_t>(transfer.length, 1)) != 0) {
      transfer.ok = false;
      transfer.error = ERROR_NOT_ENOUGH_MEMORY;
      return;
    }
    void* caller = transfer.buffer;
    if (transfer.write)
      std::memcpy(copy, caller, transfer.length);
    transfer.buffer = copy;
    run_transfer_now(fd, transfer);
    transfer.buffer = caller;
    if (!transfer.write)
      std::memcpy(caller, copy, transfer.done);
    std::free(copy);
  }

  void release() {
    if (locked)
      claims().give_up(dev, token);
    locked = false;
    for (dev_t guard : guards)
      claims().give_up(guard, 0);
    guards.clear();
    if (writing)
      writers().remove(dev);
    writing = false;
  }

  bool guard(dev_t device, const std::string& deviceName) {
    if (!claims().take(device, deviceName))
      return false;
    guards.push_back(device);
    return true;
  }

  // Whether `length` bytes at `offset` may be written; takes the guards that keep it so.
  bool may_write(std::uint64_t offset, std::size_t length) {
    if (claims().holds(dev) || (volume && claims().holds(disk.dev)))
      return true;
    if (volume)
      return !lb::in_use(dev) && guard(dev, name);
    // A disk handle. While this process holds one of the disk's partitions, the kernel lets
    // no one else have the whole disk: only the partitions written into need checking.
    bool holdsPartition = false;
    for (const lb::Partition& partition : disk.partitions)
      holdsPartition = holdsPartition || claims().holds(partition.dev);
    if (!holdsPartition) {
      if (lb::in_use(disk.dev))
        return false;
      if (guard(disk.dev, disk.name))
        return true; // the disk and all its partitions are now this process's
      if (disk.partitions.empty())
        return false; // someone else holds the disk
    }
    bool touched = false;
    for (const lb::Partition& partition : disk.partitions) {
      if (offset >= partition.offset + partition.length || partition.offset >= offset + length)
        continue;
      touched = true;
      if (claims().holds(partition.dev))
        continue;
      if (lb::in_use(partition.dev) || !guard(partition.dev, partition.name))
        return false;
    }
    if (touched || holdsPartition)
      return true;
    // Between partitions, while the whole disk could not be had: that is safe only when it
    // is a partition, not the disk, that someone else holds.
    for (const lb::Partition& partition : disk.partitions)
      if (!lb::in_use(partition.dev) && guard(partition.dev, partition.name))
        return true;
    return false;
  }

  int fd;
  lb::Disk disk; // the disk the device is or lies on, as it was at the open
  bool volume;
  dev_t dev;    // the device itself
  bool writing; // opened for writing, and counted among the writers until released
  std::string name;
  DeviceFacts facts_;
  std::uint64_t token = next_token++;
  bool locked = false;
  std::vector<dev_t> guards;
  std::unique_ptr<TransferQueue> queue; // made at the first overlapped transfer
};

const lb::Volume* find_volume(const DevicePath& path, const std::vector<lb::Volume>& volumes) {
  dev_t wanted = 0;
  if (path.kind == DevicePath::Volume && !lb::volume_dev(path.guid, wanted))
    return nullptr;
  for (const lb::Volume& volume : volumes) {
    if (path.kind == DevicePath::Letter ? volume.letter == path.letter
                                        : path.kind == DevicePath::Volume && volume.dev == wanted)
      return &volume;
  }
  return nullptr;
}

// The volumes of `disks` among which the volume of `path` is found, reading no disk that cannot
// hold it: a letter names a mounted volume, and of the disks that are volumes only when they
// carry a signature, a volume name needs only the one it names.
std::vector<lb::Volume> volumes_for(const DevicePath& path, const std::vector<lb::Disk>& disks) {
  dev_t wanted = 0;
  if (path.kind != DevicePath::Volume || !lb::volume_dev(path.guid, wanted))
    return lb::volumes(disks, no_unused_disk);
  return lb::volumes(disks, [wanted](const lb::Disk& disk) {
    return disk.dev == wanted && unused_disk_is_volume(disk);
  });
}

void set_absent(const char* variable, const std::string& value) {
  if (!value.empty())
    setenv(variable, value.c_str(), 0);
}

std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0')
    return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/";
}

} // namespace

LinuxMachine::LinuxMachine() {
  const std::vector<lb::Mount> mounted = lb::mounts();
  const std::vector<lb::Volume> volumes = lb::volumes(lb::disks(), mounted, no_unused_disk);
  const std::string root = lb::letter_path("/", volumes, mounted);
  set_absent("SYSTEMDRIVE", root.size() >= 2 ? root.substr(0, 2) : std::string());
  set_absent("PROGRAMFILES", lb::letter_path("/usr", volumes, mounted));
  set_absent("APPDATA", lb::letter_path(home_folder(), volumes, mounted));
}

std::unique_ptr<Device> LinuxMachine::open(const std::string& path, DWORD access, DWORD flags) {
  const DevicePath parsed = parse_device_path(path);
  if (parsed.kind == DevicePath::Other) {
    SetLastError(unknown_path_error(path));
    return nullptr;
  }
  const std::vector<lb::Disk> disks = lb::disks();
  std::vector<lb::Volume> volumes;
  const lb::Volume* volume = nullptr;
  const lb::Disk* disk = nullptr;
  if (parsed.kind == DevicePath::Drive) {
    if (parsed.number < disks.size())
      disk = &disks[parsed.number];
  } else {
    volumes = volumes_for(parsed, disks);
    volume = find_volume(parsed, volumes);
    if (volume != nullptr)
      disk = &disks[volume->disk];
  }
  if (disk == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const std::string name = volume != nullptr ? volume->name : disk->name;
  const dev_t dev = volume != nullptr ? volume->dev : disk->dev;
  // Uncached always, as Windows opens drives and volumes.
  int mode = ((access & GENERIC_WRITE) != 0 ? O_RDWR : O_RDONLY) | O_DIRECT;
  if ((flags & FILE_FLAG_WRITE_THROUGH) != 0)
    mode |= O_DSYNC;
  const int fd = ::open(lb::node(name).c_str(), mode | O_CLOEXEC);
  if (fd < 0) {
    set_last_error_from_errno(errno);
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISBLK(status.st_mode) || status.st_rdev != dev) {
    ::close(fd); // the node is not the device that sysfs lists under that name
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto device = std::make_unique<LinuxDevice>(fd, *disk, volume, (access & GENERIC_WRITE) != 0);
  if (!device->make_facts(volume))
    return nullptr;
  return device;
}

bool LinuxMachine::volume_names(std::vector<std::string>& names) {
  names.clear();
  for (const lb::Volume& volume : lb::volumes(lb::disks(), unused_disk_is_volume))
    names.push_back(volume_path(lb::volume_guid(volume.dev)) + "\\");
  return true;
}

bool LinuxMachine::volume_information(const std::string& root, VolumeInformation& info) {
  const DevicePath parsed = parse_root_path(root);
  if (parsed.kind == DevicePath::Other)
    return fail_with(root.empty() || root.back() != '\\' ? ERROR_INVALID_NAME
                                                         : ERROR_PATH_NOT_FOUND);
  const std::vector<lb::Volume> volumes = volumes_for(parsed, lb::disks());
  const lb::Volume* volume = find_volume(parsed, volumes);
  if (volume == nullptr)
    return fail_with(ERROR_PATH_NOT_FOUND);
  lb::Signature signature;
  const bool known = lb::probe(volume->name, signature) && signature.usage == "filesystem";
  std::string mountedType;
  for (const lb::Mount& mount : lb::mounts())
    if (mount.dev == volume->dev)
      mountedType = mount.type;
  if (mountedType.empty() && !known)
    return fail_with(ERROR_UNRECOGNIZED_VOLUME);
  info.fileSystem = !mountedType.empty() ? mountedType : signature.type;
  info.label = known ? signature.label : std::string();
  std::string hex;
  for (char c : signature.uuid)
    if (std::isxdigit(static_cast<unsigned char>(c)) && hex.size() < 8)
      hex += c;
  info.serialNumber = hex.empty() ? 0 : static_cast<DWORD>(std::strtoul(hex.c_str(), nullptr, 16));
  return true;
}

DWORD LinuxMachine::logical_drives() {
  DWORD mask = 0;
  for (const lb::Volume& volume : lb::volumes(lb::disks(), no_unused_disk))
    if (volume.letter != 0)
      mask |= 1u << (volume.letter - 'A');
  SetLastError(NO_ERROR); // a machine without drive letters is no failure
  return mask;
}

bool LinuxMachine::delete_mount_point(char) { return fail_with(ERROR_NOT_SUPPORTED); }

bool LinuxMachine::system_name(DWORD number, std::string& name) {
  const std::vector<lb::Disk> disks = lb::disks();
  if (number >= disks.size())
    return fail_with(ERROR_FILE_NOT_FOUND);
  name = lb::node(disks[number].name);
  return true;
}

bool LinuxMachine::volume_path_names(const std::string& guid, std::vector<std::string>& paths) {
  DevicePath path;
  path.kind = DevicePath::Volume;
  path.guid = guid;
  const std::vector<lb::Mount> mounted = lb::mounts();
  const std::vector<lb::Volume> volumes = volumes_for(path, lb::disks());
  const lb::Volume* volume = find_volume(path, volumes);
  if (volume == nullptr)
    return fail_with(ERROR_FILE_NOT_FOUND);
  paths.clear();
  if (volume->letter != 0)
    paths.push_back(std::string(1, volume->letter) + ":\\");
  const std::vector<std::string> points =
      lb::mount_points(static_cast<std::size_t>(volume - volumes.data()), volumes, mounted);
  paths.insert(paths.end(), points.begin(), points.end());
  return true;
}

std::vector<std::string> linux_drive_names() {
  std::vector<std::string> names;
  for (const lb::Disk& disk : lb::disks())
    names.push_back(disk.name);
  return names;
}

} // namespace platform
