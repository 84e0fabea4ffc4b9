// The machine behind the device and volume calls, and what one open device is.
//
// The Win32 calls (DeviceCalls.cpp) check their arguments, keep each handle's position and
// build the records; a machine only answers facts and moves bytes. There are two machines: the
// simulated one (SimulatedMachine) and the real Linux block devices (LinuxMachine).
#pragma once

#include "Win32.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One piece of a volume on a disk; offsets and lengths in bytes.
struct Extent {
  DWORD disk = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// What an open device is, fixed when it is opened.
struct DeviceFacts {
  bool volume = false;          // false: a physical drive
  DWORD diskNumber = 0;         // the drive's number; of a volume, that of its (first) disk
  DWORD partitionNumber = 0;    // 0 for a physical drive
  bool hasDeviceNumber = true;  // false: the device-number query fails
  std::uint64_t size = 0;       // bytes
  std::uint32_t sectorSize = 0; // bytes per sector
  std::int64_t cylinders = 0;   // the geometry of the (first) disk
  DWORD tracksPerCylinder = 1;
  DWORD sectorsPerTrack = 1;
  std::uint64_t offset = 0; // of a volume: where it starts on its disk
  bool removable = false;
  std::vector<Extent> extents; // of a volume
  std::string descriptor;      // STORAGE_DEVICE_DESCRIPTOR bytes of the (first) disk
  // What names the device itself rather than its number (the GUID of
  // IOCTL_STORAGE_GET_DEVICE_NUMBER_EX): two numbers, equal for two handles only when both are
  // of the same device, attached once, as read from the device opened.
  std::uint64_t identity[2] = {0, 0};
};

// What the system says of a disk where its storage descriptor has no model or no serial
// (IOCTL_DISK_STAND_INS).
struct StandIn {
  STAND_IN_KIND kind = StandInNone;
  std::string text;
};
struct StandIns {
  StandIn model;
  StandIn serial;
};

// One transfer that runs while its caller goes on (overlapped input and output). It stays in
// place from the device's start until the device's wait_for has returned for it.
struct Transfer {
  bool write = false;
  std::uint64_t offset = 0;
  void* buffer = nullptr; // only read from for a write
  std::size_t length = 0;
  // The outcome, as the device's read or write gives it; valid once `finished` is set.
  bool ok = false;
  std::size_t done = 0;
  DWORD error = 0;
  std::atomic<bool> finished{false};
};

// One open drive or volume. Offsets and lengths given to it lie inside the device, and the
// Win32 calls have checked access rights and alignment.
class Device {
public:
  virtual ~Device() = default;

  virtual const DeviceFacts& facts() const = 0;

  // The error code that the machine is set to give `call` (a Win32 function or control code
  // name) on this device; 0 when the call is to be answered.
  virtual DWORD failure(const char* call) const {
    (void)call;
    return 0;
  }

  // Each returns false with the last error set on failure; `done` is the count moved.
  virtual bool read(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) = 0;
  // Refuses (ERROR_ACCESS_DENIED, nothing written) a range of a volume that is in use.
  virtual bool write(std::uint64_t offset, const void* data, std::size_t length,
                     std::size_t& done) = 0;
  virtual bool flush() = 0;
  // Starts `transfer` (its offset and length lie inside the device, as for read and write). A
  // device without a queue of its own moves the bytes at once, here.
  virtual void start(Transfer& transfer) {
    transfer.ok = transfer.write
                      ? write(transfer.offset, transfer.buffer, transfer.length, transfer.done)
                      : read(transfer.offset, transfer.buffer, transfer.length, transfer.done);
    transfer.error = transfer.ok ? 0 : GetLastError();
    transfer.finished.store(true, std::memory_order_release);
  }
  // Returns once `transfer`, started on this device, has finished.
  virtual void wait_for(Transfer& transfer) { (void)transfer; }
  // Moves the transfers started on this device on without waiting, for a caller that asks
  // whether one has finished: a device may hold a transfer started while others are in flight
  // until it is waited for or polled.
  virtual void poll() {}
  // The memory that the overlapped transfers of this device take their buffers from, to be
  // locked once for the device rather than for each transfer (SetFileIoOverlappedRange). It
  // stays allocated until the device is closed. False with the last error set when the system
  // refuses; a device whose transfers lock nothing has nothing to do.
  virtual bool keep_memory(void* start, std::size_t length) {
    (void)start;
    (void)length;
    return true;
  }
  // Of a drive: what the system says in place of an empty model or serial. Asked when wanted,
  // not at the open, since only a listing of the drives wants it.
  virtual StandIns stand_ins() const { return {}; }
  // Of a drive: the names of the volume walk (Machine::volume_names) of the volumes that lie on
  // it, in whole or in part, in the walk's order, found without reading any other drive (see
  // IOCTL_DISK_VOLUME_NAMES). False with the last error set when they cannot be had.
  virtual bool volume_names(std::vector<std::string>& names) const {
    (void)names;
    SetLastError(ERROR_INVALID_FUNCTION);
    return false;
  }
  // Volumes only: take the volume for this device alone; take its file system off line.
  virtual bool lock() = 0;
  virtual bool dismount() = 0;
  // Gives up what the device holds (locks among them); no transfer of it is in flight by then.
  // False with the last error set when closing fails.
  virtual bool close() = 0;
};

struct VolumeInformation {
  std::string label;
  std::string fileSystem;
  DWORD serialNumber = 0;
};

class Machine {
public:
  virtual ~Machine() = default;

  // Opens the drive or volume that `path` names; null with the last error set when it cannot.
  // `access` holds GENERIC_READ and GENERIC_WRITE bits, `flags` the FILE_FLAG bits.
  virtual std::unique_ptr<Device> open(const std::string& path, DWORD access, DWORD flags) = 0;
  // The names of the volume walk, each with its trailing backslash. False with the last error
  // set when the walk cannot start.
  virtual bool volume_names(std::vector<std::string>& names) = 0;
  // False with the last error set for a root that names no volume or a volume without a known
  // file system.
  virtual bool volume_information(const std::string& root, VolumeInformation& info) = 0;
  // The drive letter mask; 0 with the last error set on failure.
  virtual DWORD logical_drives() = 0;
  virtual bool delete_mount_point(char letter) = 0;
  // The system's own name of drive `number` ("/dev/sdb"). False with ERROR_FILE_NOT_FOUND when
  // the machine has no such drive or gives it no such name.
  virtual bool system_name(DWORD number, std::string& name) {
    (void)number;
    (void)name;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  // Where the volume `guid` (lower case, as DevicePath gives it) is mounted: its letter's root
  // ("D:\") when it has one, then the system's own mount points. False with the last error
  // set for a volume the machine does not have.
  virtual bool volume_path_names(const std::string& guid, std::vector<std::string>& paths) = 0;
  // The root ("X:\") of the lettered volume that holds `path`, a path of the machine's own
  // file systems. False with the last error set when there is none; a machine that holds no
  // files has none for any path.
  virtual bool volume_path_name(const std::string& path, std::string& root) {
    (void)path;
    (void)root;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
};

// The machine of this process: the simulated machine of the file that CVW_MACHINE names, else
// the real one. A change of CVW_MACHINE or of the file takes effect at the next call; open
// handles keep the machine they were opened on.
std::shared_ptr<Machine> current_machine();

// Whether CVW_MACHINE names a machine file, so that the calls serve a simulated machine (or an
// unusable one, never the real drives).
bool simulated_machine_chosen();

} // namespace platform
