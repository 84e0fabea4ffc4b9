// What the real machine's block devices are, read from sysfs and procfs: the physical drives
// with their numbers, the volumes with their made-up names and drive letters, the mounts, and
// whether a device is in use.
#pragma once

#include "Machine.h"
#include "Win32.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::linux_block {

struct Partition {
  std::string name; // kernel name, as in /dev
  dev_t dev = 0;
  DWORD number = 0;
  std::uint64_t offset = 0; // bytes from the start of the disk
  std::uint64_t length = 0; // bytes
};

struct Disk {
  std::string name;
  dev_t dev = 0;
  DWORD number = 0; // N of \\.\PhysicalDriveN
  std::uint64_t length = 0;
  std::vector<Partition> partitions;
};

// The physical drives in drive-number order: first the whole disks of /sys/block that sit on
// a device (never ram, zram, loop, device-mapper, md or optical drives), then, only when
// CVW_LOOP_DEVICES asks for them, loop devices that have a backing file; each group in natural
// name order (runs of digits compared as numbers). CVW_LOOP_DEVICES=1 adds every attached loop
// device; a comma-separated list of names ("loop3" or "/dev/loop3") adds only those.
//
// What was read is kept and given again while the kernel's block devices stay as they were: no
// device added, removed, made anew or resized, and the same loop devices asked for (a listing
// of /sys/class/block and /proc/partitions tells, for a fraction of reading the disks).
std::vector<Disk> disks();

struct Volume {
  std::string name;
  dev_t dev = 0;
  DWORD disk = 0;
  DWORD partition = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  char letter = 0; // 0: none
};

struct Mount {
  dev_t dev = 0;
  std::string point;
  std::string type;
};

// The mounts of this process's mount namespace, in mount order.
std::vector<Mount> mounts();

// The volumes of `disks`, in disk and partition order: every partition, and a whole disk
// without partitions that is mounted or held, or that `unusedIsVolume` takes for one (it is
// asked only about those that are neither). Drive letters go to the volumes that hold mounted
// file systems, directly or under a device-mapper or md device: C: to the one that holds "/",
// then D:, E:, ... in volume order; so the letters do not depend on `unusedIsVolume`.
std::vector<Volume> volumes(const std::vector<Disk>& disks, const std::vector<Mount>& mounted,
                            const std::function<bool(const Disk&)>& unusedIsVolume);
// The same with the mounts of the moment.
std::vector<Volume> volumes(const std::vector<Disk>& disks,
                            const std::function<bool(const Disk&)>& unusedIsVolume);

// For `volumes`: whether a whole disk holds a file system or other signature (read with probe).
bool carries_signature(const Disk& disk);

// The made-up GUID of a volume, and back (false for a GUID that the layer did not make).
std::string volume_guid(dev_t dev);
bool volume_dev(const std::string& guid, dev_t& dev);

// True when the device is mounted, is active swap or has a holder (device-mapper, md).
bool in_use(dev_t dev);

// The drive letter of the file system that holds `path` ("C:\usr"), empty when that file
// system has no letter; `volumes` were listed with the mounts `mounted`.
std::string letter_path(const std::string& path, const std::vector<Volume>& volumes,
                        const std::vector<Mount>& mounted);

// The identity of a disk for the storage descriptor.
struct Identity {
  std::string vendor, product, revision, serial;
  bool removable = false;
  std::int32_t busType = 0;
};
// `diskName` is one of the disks as `disks` last read them; its identity is read once for them
// (that of its device, which is made anew when the medium or the device changes).
Identity identity(const std::string& diskName);

// What the superblock of a device says: file system type, its usage ("filesystem", "raid",
// "crypto", "other"), label and UUID. False when no signature is found or the device cannot be
// read.
struct Signature {
  std::string type, usage, label, uuid;
};
bool probe(const std::string& name, Signature& signature);

// "/dev/" + name.
std::string node(const std::string& name);

// What sysfs says of the disk `diskName` where its identity has no model (no vendor and no
// product) or no serial: a loop device's backing file, else the disk's driver, for the model;
// the world wide identifier for the serial. Read afresh at each call: a loop device may be
// given another file without any other change.
StandIns stand_ins(const std::string& diskName);

// Where the volume `volumes[volume]` is mounted, directly or under device-mapper or md, each
// mount point once, in mount order; `volumes` were listed with the mounts `mounted`.
std::vector<std::string> mount_points(std::size_t volume, const std::vector<Volume>& volumes,
                                      const std::vector<Mount>& mounted);

} // namespace platform::linux_block
