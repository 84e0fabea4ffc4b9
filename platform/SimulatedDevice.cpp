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
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

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

// Takes out of `ranges` those that the transfer of `length` bytes at `offset` touches; true
// when there were any.
bool take_touched(std::vector<SectorRange>& ranges, std::uint32_t sectorSize, std::uint64_t offset,
                  std::uint64_t length) {
  const auto before = ranges.size();
  ranges.erase(std::remove_if(ranges.begin(), ranges.end(),
                              [&](const SectorRange& range) {
                                return touches({range}, sectorSize, offset, length);
                              }),
               ranges.end());
  return ranges.size() != before;
}

std::int64_t monotonic_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
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
      : machine(std::move(machine)), drive(drive), volume(volume),
        queued(drive != nullptr && drive->queued()) {
    for (const SimulatedDrive& disk : this->machine->drives())
      once[disk.number] = {disk.unreadableOnce, disk.unwritableOnce};
  }

  ~SimulatedDevice() override {
    stop_queue();
    if (log >= 0)
      ::close(log);
    for (const auto& entry : images)
      ::close(entry.second);
  }

  // Starts the drive's queue when it has one. False with the last error set when its request
  // log cannot be opened or its thread cannot be had.
  bool open_queue() {
    if (!queued)
      return true;
    if (!drive->requestLog.empty()) {
      log = ::open(drive->requestLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (log < 0) {
        set_last_error_from_errno(errno);
        return false;
      }
    }
    try {
      worker = std::thread(&SimulatedDevice::serve_requests, this);
    } catch (const std::system_error&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    return true;
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

  // The machine file's volumes with an extent on the drive, in its order.
  bool volume_names(std::vector<std::string>& names) const override {
    if (drive == nullptr)
      return Device::volume_names(names);
    names.clear();
    for (const SimulatedVolume& described : machine->volumes())
      if (std::any_of(described.extents.begin(), described.extents.end(),
                      [&](const Extent& extent) { return extent.disk == drive->number; }))
        names.push_back(described.listedName);
    return true;
  }

  DWORD failure(const char* call) const override {
    const Failures& failures = drive != nullptr ? drive->failures : volume->failures;
    auto found = failures.find(call);
    return found != failures.end() ? found->second : 0;
  }

  bool read(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) override {
    if (queued)
      return through_queue(false, offset, buffer, length, done);
    return read_now(offset, buffer, length, done);
  }

  bool write(std::uint64_t offset, const void* data, std::size_t length,
             std::size_t& done) override {
    if (queued)
      return through_queue(true, offset, const_cast<void*>(data), length, done);
    return write_now(offset, data, length, done);
  }

  // A drive with a queue holds the transfer until it is waited for or polled; a write that is
  // refused ends at once, as the system refuses it before it reaches the drive.
  void start(Transfer& transfer) override {
    if (!queued) {
      Device::start(transfer);
      return;
    }
    if (transfer.write && !writable_now(transfer.offset, transfer.length)) {
      transfer.ok = false;
      transfer.done = 0;
      transfer.error = GetLastError();
      transfer.finished.store(true, std::memory_order_release);
      return;
    }
    std::lock_guard<std::mutex> lock(queueMutex);
    plugged.push_back(&transfer);
  }

  void wait_for(Transfer& transfer) override {
    if (!queued)
      return;
    std::unique_lock<std::mutex> lock(queueMutex);
    unplug();
    ended.wait(lock, [&] { return transfer.finished.load(std::memory_order_acquire); });
  }

  void poll() override {
    if (!queued)
      return;
    std::lock_guard<std::mutex> lock(queueMutex);
    unplug();
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
  bool read_now(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done) {
    done = 0;
    for (const Piece& piece : pieces(offset, length)) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (touches(disk.unreadable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_CRC);
        return false;
      }
    }
    if (failing_once(false, offset, length)) {
      SetLastError(ERROR_CRC);
      return false;
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

  bool write_now(std::uint64_t offset, const void* data, std::size_t length, std::size_t& done) {
    done = 0;
    if (!writable_now(offset, length))
      return false;
    const std::vector<Piece> all = pieces(offset, length);
    for (const Piece& piece : all) {
      const SimulatedDrive& disk = *machine->drive(piece.disk);
      if (touches(disk.unwritable, disk.sectorSize, piece.offset, piece.length)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
    }
    if (failing_once(true, offset, length)) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
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

  // Whether the `length` bytes at `offset` may be written now; false with ERROR_ACCESS_DENIED
  // (or the error of reading the shared state) when not.
  bool writable_now(std::uint64_t offset, std::size_t length) const {
    SimulatedState::Snapshot snapshot;
    if (!machine->state().read(snapshot))
      return false;
    for (const Piece& piece : pieces(offset, length)) {
      if (!writable(piece, snapshot)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
      }
    }
    return true;
  }

  // Whether the transfer meets a range that fails once; those it meets work from now on.
  bool failing_once(bool write, std::uint64_t offset, std::size_t length) {
    std::lock_guard<std::mutex> lock(onceMutex);
    bool failed = false;
    for (const Piece& piece : pieces(offset, length)) {
      Once& left = once[piece.disk];
      failed = take_touched(write ? left.unwritable : left.unreadable,
                            machine->drive(piece.disk)->sectorSize, piece.offset, piece.length) ||
               failed;
    }
    return failed;
  }

  // A transfer of a drive with a queue that its caller waits for at once.
  bool through_queue(bool write, std::uint64_t offset, void* buffer, std::size_t length,
                     std::size_t& done) {
    Transfer transfer;
    transfer.write = write;
    transfer.offset = offset;
    transfer.buffer = buffer;
    transfer.length = length;
    start(transfer);
    wait_for(transfer);
    done = transfer.done;
    if (!transfer.ok)
      SetLastError(transfer.error);
    return transfer.ok;
  }

  // Hands the transfers held back to the drive. Called with the queue's lock held.
  void unplug() {
    if (plugged.empty())
      return;
    waiting.insert(waiting.end(), plugged.begin(), plugged.end());
    plugged.clear();
    served.notify_one();
  }

  // The drive: takes every transfer handed to it, makes its requests (adjacent transfers of one
  // direction together, when it merges them), and serves them one after the other, oldest first.
  void serve_requests() {
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
      served.wait(lock, [this] { return stopping || !waiting.empty(); });
      if (waiting.empty())
        return; // stopping, with nothing left to serve
      std::vector<Transfer*> batch;
      batch.swap(waiting);
      lock.unlock();
      for (const std::vector<Transfer*>& request : requests(batch)) {
        serve(request);
        lock.lock();
        ended.notify_all();
        lock.unlock();
      }
      lock.lock();
    }
  }

  // The requests that `batch` makes, each a run of transfers in the order of their offsets, the
  // requests in the order of their first transfer in `batch`.
  std::vector<std::vector<Transfer*>> requests(const std::vector<Transfer*>& batch) const {
    std::vector<std::vector<Transfer*>> made;
    if (!drive->mergedRequests) {
      for (Transfer* transfer : batch)
        made.push_back({transfer});
      return made;
    }
    std::vector<std::size_t> order(batch.size());
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return std::make_pair(batch[a]->write, batch[a]->offset) <
             std::make_pair(batch[b]->write, batch[b]->offset);
    });
    std::vector<std::size_t> firsts; // of each request, the position of its oldest transfer
    for (std::size_t k = 0; k < order.size(); ++k) {
      const Transfer& transfer = *batch[order[k]];
      const bool joins = k > 0 && made.back().back()->write == transfer.write &&
                         made.back().back()->offset + made.back().back()->length == transfer.offset;
      if (joins) {
        made.back().push_back(batch[order[k]]);
        firsts.back() = std::min(firsts.back(), order[k]);
      } else {
        made.push_back({batch[order[k]]});
        firsts.push_back(order[k]);
      }
    }
    std::vector<std::size_t> byAge(made.size());
    for (std::size_t i = 0; i < byAge.size(); ++i)
      byAge[i] = i;
    std::sort(byAge.begin(), byAge.end(),
              [&](std::size_t a, std::size_t b) { return firsts[a] < firsts[b]; });
    std::vector<std::vector<Transfer*>> oldestFirst;
    for (std::size_t i : byAge)
      oldestFirst.push_back(std::move(made[i]));
    return oldestFirst;
  }

  // Serves one request: it takes the drive's request time, then fails whole when it touches a
  // failing sector, else moves each of its transfers. Each transfer is marked finished and not
  // touched again: its waiter may free it at once.
  void serve(const std::vector<Transfer*>& request) {
    const Transfer& first = *request.front();
    const bool write = first.write;
    const std::uint64_t offset = first.offset;
    const std::uint64_t length =
        request.back()->offset + request.back()->length - request.front()->offset;
    const std::int64_t began = monotonic_ns();
    if (drive->requestMilliseconds > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(drive->requestMilliseconds));
    const std::vector<SectorRange>& bad = write ? drive->unwritable : drive->unreadable;
    // A transfer alone meets its failing sectors as any transfer does.
    const bool moves =
        request.size() == 1 || (!touches(bad, drive->sectorSize, offset, length) &&
                                !failing_once(write, offset, static_cast<std::size_t>(length)));
    bool ok = true;
    for (Transfer* transfer : request) {
      if (moves) {
        transfer->ok =
            write ? write_now(transfer->offset, transfer->buffer, transfer->length, transfer->done)
                  : read_now(transfer->offset, transfer->buffer, transfer->length, transfer->done);
        transfer->error = transfer->ok ? 0 : GetLastError();
      } else {
        transfer->ok = false;
        transfer->done = 0;
        transfer->error = write ? ERROR_WRITE_FAULT : ERROR_CRC;
      }
      ok = ok && transfer->ok;
      transfer->finished.store(true, std::memory_order_release);
    }
    if (log < 0)
      return;
    char line[160];
    const std::uint64_t sector = std::max<std::uint32_t>(drive->sectorSize, 1);
    const int n =
        std::snprintf(line, sizeof line, "%lld %lld %s %llu %llu %s\n",
                      static_cast<long long>(began), static_cast<long long>(monotonic_ns()),
                      write ? "write" : "read", static_cast<unsigned long long>(offset / sector),
                      static_cast<unsigned long long>(length / sector), ok ? "ok" : "failed");
    if (n > 0 && ::write(log, line, static_cast<std::size_t>(n)) < 0) {
      // The log is for tests; a request is served all the same.
    }
  }

  void stop_queue() {
    if (!worker.joinable())
      return;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      unplug();
      stopping = true;
    }
    served.notify_one();
    worker.join();
  }

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

  // The ranges of each disk that fail once and have not failed yet, on this handle.
  struct Once {
    std::vector<SectorRange> unreadable, unwritable;
  };
  std::mutex onceMutex;
  std::map<DWORD, Once> once;

  // The drive's queue (see SimulatedDrive): transfers held until they are waited for or polled,
  // then waiting for the drive's thread, which serves them.
  bool queued;
  std::mutex queueMutex;
  std::condition_variable served; // the drive has transfers to serve, or is to stop
  std::condition_variable ended;  // the drive has served a request
  std::vector<Transfer*> plugged;
  std::vector<Transfer*> waiting;
  bool stopping = false;
  int log = -1; // the request log
  std::thread worker;
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
  if (!device->open_images(access, flags) || !device->open_queue())
    return nullptr;
  device->make_facts();
  return device;
}

} // namespace platform
