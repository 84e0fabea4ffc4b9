// The opened drives and volumes of the simulated machine. A write into a volume that is mounted
// and neither dismounted nor locked by this process is refused, as Windows refuses it.
#include "SimulatedDevice.h"

#include "Errno.h"
#include "SimulatedMachine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

namespace platform {

namespace {

std::atomic<std::uint64_t> next_token{1};

bool overlaps(std::uint64_t a, std::uint64_t aLength, std::uint64_t b, std::uint64_t bLength) {
  return a < b + bLength && b < a + aLength;
}

// Whether the transfer of `length` bytes at `offset` touches a sector of `ranges`. Compared in
// sector numbers, never in bytes: a range may name any sector up to the largest the machine
// file can hold, and one that reaches past the last sector number ends there instead of
// wrapping around.
bool touches(const std::vector<SectorRange>& ranges, std::uint32_t sectorSize, std::uint64_t offset,
             std::uint64_t length) {
  if (length == 0 || sectorSize == 0)
    return false;
  const std::uint64_t first = offset / sectorSize;
  const std::uint64_t last = first + (offset % sectorSize + length - 1) / sectorSize;
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  for (const SectorRange& range : ranges) {
    if (range.count == 0)
      continue;
    const std::uint64_t rangeLast =
        range.count - 1 > most - range.first ? most : range.first + (range.count - 1);
    if (range.first <= last && first <= rangeLast)
      return true;
  }
  return false;
}

bool has_claim(const std::vector<SimulatedState::Claim>& claims, const std::string& volume,
               long pid, bool samePid) {
  for (const SimulatedState::Claim& claim : claims)
    if (claim.volume == volume && (claim.pid == pid) == samePid)
      return true;
  return false;
}

// Gives the image the drive's size, sparse, when it is missing or shorter.
bool prepare_image(const SimulatedDrive& drive) {
  struct stat status;
  if (stat(drive.image.c_str(), &status) == 0 &&
      static_cast<std::uint64_t>(status.st_size) >= drive.size)
    return true;
  const int fd = ::open(drive.image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = fstat(fd, &status) == 0;
  if (ok && static_cast<std::uint64_t>(status.st_size) < drive.size)
    ok = ftruncate(fd, static_cast<off_t>(drive.size)) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

// One drive or volume of the simulated machine.
class SimulatedDevice : public Device {
public:
  SimulatedDevice(std::shared_ptr<const SimulatedMachine> machine, const SimulatedDrive* drive,
                  const SimulatedVolume* volume)
      : machine(std::move(machine)), drive(drive), volume(volume) {}

  ~SimulatedDevice() override {
    for (const auto& entry : images)
      ::close(entry.second);
  }

  // Opens the images that the device lies on. False with the last error set.
  bool open_images(DWORD access, DWORD flags) {
    int mode = (access & GENERIC_WRITE) != 0 ? O_RDWR : O_RDONLY;
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0)
      mode |= O_DSYNC;
    std::vector<DWORD> disks;
    if (drive != nullptr)
      disks.push_back(drive->number);
    else
      for (const Extent& extent : volume->extents)
        disks.push_back(extent.disk);
    for (DWORD disk : disks) {
      if (images.count(disk) != 0)
        continue;
      const SimulatedDrive& image = *machine->drive(disk);
      if (!prepare_image(image)) {
        set_last_error_from_errno(errno);
        return false;
      }
      const int fd = ::open(image.image.c_str(), mode | O_CLOEXEC);
      if (fd < 0) {
        set_last_error_from_errno(errno);
        return false;
      }
      images[disk] = fd;
    }
    return true;
  }

  void make_facts() {
    const SimulatedDrive& disk =
        drive != nullptr ? *drive : *machine->drive(volume->extents[0].disk);
    facts_.diskNumber = disk.number;
    facts_.sectorSize = disk.sectorSize;
    facts_.cylinders = disk.cylinders;
    facts_.tracksPerCylinder = disk.tracksPerCylinder;
    facts_.sectorsPerTrack = disk.sectorsPerTrack;
    facts_.removable = disk.removable;
    facts_.descriptor = disk.descriptor;
    // The image that the disk keeps its sectors in is the disk itself: another image at the
    // same number is another disk.
    struct stat status;
    if (fstat(images.at(disk.number), &status) == 0) {
      facts_.identity[0] = static_cast<std::uint64_t>(status.st_ino);
      facts_.identity[1] = static_cast<std::uint64_t>(status.st_dev);
    }
    if (drive != nullptr) {
      facts_.size = drive->size;
      return;
    }
    facts_.volume = true;
    facts_.partitionNumber = volume->partitionNumber;
    facts_.hasDeviceNumber = volume->extents.size() == 1;
    facts_.offset = volume->extents[0].offset;
    facts_.extents = volume->extents;
    for (const Extent& extent : volume->extents)
      facts_.size += extent.length;
  }

  const DeviceFacts& facts() const override { return facts_; }

  StandIns stand_ins() const override { return drive != nullptr ? drive->standIns : StandIns(); }

  DWORD failure(const char* call) const override {
    const Failures& failures = drive != nullptr ? drive->failures : volume->failures;
    auto found = failures.find(call);
    return found != failures.end() ? found->second : 0;
  }

  bool read(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) override {
    done = 0;
    for (const Piece& piece : pieces(offset, length)) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (touches(disk.unreadable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_CRC);
        return false;
      }
    }
    for (const Piece& piece : pieces(offset, length)) {
      char* into = static_cast<char*>(buffer) + piece.at;
      std::size_t got = 0;
      while (got < piece.length) {
        const ssize_t n = pread(images.at(piece.disk), into + got, piece.length - got,
                                static_cast<off_t>(piece.offset + got));
        if (n < 0 && errno == EINTR)
          continue;
        if (n < 0) {
          done = piece.at + got;
          set_last_error_from_errno(errno);
          return false;
        }
        if (n == 0) { // an image shorter than its drive reads as zeros
          std::memset(into + got, 0, piece.length - got);
          break;
        }
        got += static_cast<std::size_t>(n);
      }
      done = piece.at + piece.length;
    }
    return true;
  }

  bool write(std::uint64_t offset, const void* data, std::size_t length,
             std::size_t& done) override {
    done = 0;
    SimulatedState::Snapshot snapshot;
    if (!machine->state().read(snapshot))
      return false;
    const std::vector<Piece> all = pieces(offset, length);
    for (const Piece& piece : all) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (!writable(piece, snapshot)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
      }
      if (touches(disk.unwritable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
    }
    for (const Piece& piece : all) {
      const char* from = static_cast<const char*>(data) + piece.at;
      for (std::size_t put = 0; put < piece.length;) {
        const ssize_t n = pwrite(images.at(piece.disk), from + put, piece.length - put,
                                 static_cast<off_t>(piece.offset + put));
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0) {
          set_last_error_from_errno(n < 0 ? errno : EIO);
          return false;
        }
        put += static_cast<std::size_t>(n);
        done += static_cast<std::size_t>(n);
      }
    }
    return true;
  }

  bool flush() override {
    for (const auto& entry : images) {
      if (fsync(entry.second) != 0) {
        set_last_error_from_errno(errno);
        return false;
      }
    }
    return true;
  }

  bool lock() override {
    claimed = true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (const SimulatedState::Claim& claim : snapshot.locks) {
        if (claim.volume != volume->guid)
          continue;
        if (claim.pid == pid && claim.token == token)
          return true;
        SetLastError(ERROR_ACCESS_DENIED); // another handle holds the lock
        return false;
      }
      snapshot.locks.push_back({volume->guid, pid, token});
      return true;
    });
  }

  bool dismount() override {
    claimed = true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (const SimulatedState::Claim& claim : snapshot.dismounts)
        if (claim.volume == volume->guid && claim.pid == pid && claim.token == token)
          return true;
      snapshot.dismounts.push_back({volume->guid, pid, token});
      return true;
    });
  }

  // Ends the locks and dismounts of this device: the volume is mounted again.
  bool close() override {
    if (!claimed)
      return true;
    const long pid = static_cast<long>(getpid());
    return machine->state().update([&](SimulatedState::Snapshot& snapshot) {
      for (auto* claims : {&snapshot.locks, &snapshot.dismounts}) {
        for (auto it = claims->begin(); it != claims->end();) {
          if (it->pid == pid && it->token == token)
            it = claims->erase(it);
          else
            ++it;
        }
      }
      return true;
    });
  }

private:
  // A stretch of a transfer on one disk: `at` bytes into the caller's buffer.
  struct Piece {
    DWORD disk;
    std::uint64_t offset;
    std::size_t length;
    std::size_t at;
  };

  std::vector<Piece> pieces(std::uint64_t offset, std::size_t length) const {
    std::vector<Piece> result;
    if (drive != nullptr) {
      result.push_back({drive->number, offset, length, 0});
      return result;
    }
    std::size_t at = 0;
    std::uint64_t start = 0; // of the extent within the volume
    for (const Extent& extent : volume->extents) {
      if (at == length)
        break;
      const std::uint64_t position = offset + at;
      if (position < start + extent.length) {
        const std::uint64_t into = position - start;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - at, extent.length - into));
        result.push_back({extent.disk, extent.offset + into, n, at});
        at += n;
      }
      start += extent.length;
    }
    return result;
  }

  // A piece may be written unless it lies in a volume that is mounted and neither dismounted
  // nor locked by this process, or in a volume that another process has locked.
  bool writable(const Piece& piece, const SimulatedState::Snapshot& snapshot) const {
    const long pid = static_cast<long>(getpid());
    for (const SimulatedVolume& other : machine->volumes()) {
      bool inside = false;
      for (const Extent& extent : other.extents)
        inside = inside || (extent.disk == piece.disk &&
                            overlaps(piece.offset, piece.length, extent.offset, extent.length));
      if (!inside)
        continue;
      if (has_claim(snapshot.locks, other.guid, pid, false))
        return false;
      if (has_claim(snapshot.locks, other.guid, pid, true) || !other.mounted)
        continue;
      bool dismounted = false;
      for (const SimulatedState::Claim& claim : snapshot.dismounts)
        dismounted = dismounted || claim.volume == other.guid;
      if (!dismounted)
        return false;
    }
    return true;
  }

  std::shared_ptr<const SimulatedMachine> machine;
  const SimulatedDrive* drive;
  const SimulatedVolume* volume;
  DeviceFacts facts_;
  std::map<DWORD, int> images; // by disk number
  std::uint64_t token = next_token++;
  bool claimed = false; // has locked or dismounted: the state must be cleaned at close
};

} // namespace

std::unique_ptr<Device> open_simulated_device(std::shared_ptr<const SimulatedMachine> machine,
                                              const SimulatedDrive* drive,
                                              const SimulatedVolume* volume, DWORD access,
                                              DWORD flags) {
  auto device = std::make_unique<SimulatedDevice>(std::move(machine), drive, volume);
  if (const DWORD code = device->failure("CreateFileA")) {
    SetLastError(code);
    return nullptr;
  }
  if (!device->open_images(access, flags))
    return nullptr;
  device->make_facts();
  return device;
}

} // namespace platform
