// The engine's raw device: a physical drive, a partition or a floppy opened by its device path.
//
// Whole sectors move straight between the caller's buffer and the device when the buffer is
// aligned to the sector size, as uncached transfers need, else through one page-aligned bounce
// buffer, which also serves as a read-ahead cache for reads at any offset. The device is opened
// for overlapped transfers, of which several are kept in flight for a caller that starts them
// ahead of need. A whole disk opened for
// writing is taken away from the system for as long as it stays open: each of its volumes loses
// its drive letter (when it has exactly one), is locked and dismounted, and stays locked through
// a handle held here. A single partition opened for writing is dismounted.
#pragma once

#include "OpenMode.h"
#include "ReaderWriterStd.h"

#include "Win32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dt {

class ReaderWin32 : public ReaderWriterStd {
public:
  ReaderWin32() = default;
  ~ReaderWin32() override;
  ReaderWin32(const ReaderWin32&) = delete;
  ReaderWin32& operator=(const ReaderWin32&) = delete;

  // The most sectors that one transfer moves: the bounce buffer holds that many.
  static constexpr std::uint64_t max_transfer_sectors = 65536;

  // Whether the system buffers the device's transfers; without, they are also write-through.
  enum class Buffering { Enabled, Disabled };
  // Which way a transfer moves the data.
  enum class Direction { Read, Write };

  // Opens the device at `path` (read-only in mode Read, else for reading and writing, with
  // `buffering`), finds its size and sector size and allocates the bounce buffer. Only then is
  // whatever this object held before released. Returns false, with a debug-log line, when the
  // device cannot be opened or sized or the buffer cannot be had; the object is then as it was.
  // Failures of the device-number query, of locking and dismounting are logged and do not fail
  // the open.
  //
  // With an `identity`, the device opened must be the device that it names (get_device_identity
  // of the handle): a device at `path` that is another, or that does not tell, is closed again
  // before anything is read, locked or dismounted, with a debug-log line, and the open fails
  // with wrong_device() true.
  bool open(const std::string& path, OpenMode mode, Buffering buffering,
            const std::string& identity = std::string());
  // The last open failed because the device at the path was not the one asked for.
  bool wrong_device() const { return wrongDevice; }

  // Reads at any offset and length through the read-ahead cache. Returns false, with a
  // debug-log line, when the device cannot deliver every byte.
  bool read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  // Whole sectors at a whole-sector offset, at most one buffer's worth, cut at the end of the
  // device. Return the bytes transferred; 0, with a debug-log line, for a misaligned or
  // oversized request, one at or past the end, or a failure of the device.
  std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  std::int64_t write_some(std::uint64_t offset, const void* data, std::uint64_t length) override;
  // write_some of all `length` bytes; false, with a debug-log line, when fewer were written.
  bool write_exact(std::uint64_t offset, const void* data, std::uint64_t length) override;

  // Several transfers in flight (see ReaderWriterStd), with the checks and results of read_some
  // and write_some. A buffer that is not aligned to the sector size waits for those in flight
  // and goes through the bounce buffer.
  std::size_t transfers_in_flight() const override { return slots.size(); }
  void start_read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  void start_write_some(std::uint64_t offset, const void* data, std::uint64_t length) override;
  std::int64_t finish_some() override;
  // Locks the memory for the device's transfers once (SetFileIoOverlappedRange); a refusal is
  // logged, and the transfers go on without.
  void keep_memory(void* start, std::uint64_t length) override;
  // Makes what was written durable on the device. Returns false, with a debug-log line, when
  // the device reports a failure: a write that reached only a cache is no wipe.
  bool sync() override;
  // Closes the device handle alone; the buffer and the volume locks go with release. Returns
  // false, with a debug-log line, when the system refuses.
  bool close() override;

  // Closes the device, frees the buffer and lets the locked volumes go (their deleted drive
  // letters are not given back).
  void release();

  std::uint64_t sector_size() const { return sectorSize_; }
  HANDLE handle() const { return handle_; }
  const std::string& path() const { return path_; }
  // What the device is; Other also for a device that does not tell.
  enum class Kind { Other = 0, Disk = 1, Partition = 2 };
  Kind kind() const { return kind_; }

private:
  // One overlapped transfer of the ring.
  struct Slot {
    OVERLAPPED record{};
    bool inFlight = false; // else `result` holds its outcome
    Direction direction = Direction::Read;
    std::uint64_t length = 0;
    std::int64_t result = 0;
  };

  // Takes away the volumes of the disk `disk`, number `diskNumber` (see the top of this file).
  void lock_volumes(HANDLE disk, DWORD diskNumber);
  // The length of a transfer at `offset` after the checks of read_some and write_some, cut at
  // the end of the device; 0, with the debug-log line of `misfit` or `pastEnd`, when it cannot
  // be made.
  std::uint64_t checked_length(std::uint64_t offset, std::uint64_t length, int misfit,
                               int pastEnd) const;
  bool aligned(const void* buffer) const;
  // Starts a transfer in the next slot; one from a buffer that is not aligned ends at once.
  void start_some(Direction direction, std::uint64_t offset, void* data, std::uint64_t length);
  // The slot of the next transfer; throws when the ring is full.
  Slot& next_slot();
  // Waits for every transfer in flight, keeping its result in its slot.
  void settle();
  // The outcome of the transfer of `slot`, waited for.
  std::int64_t outcome(Slot& slot);
  // The cache filled from the sector boundary at or below `offset`. False, with a debug-log
  // line, when that lies at or past the end of the device.
  bool fill_cache(std::uint64_t offset);
  // Copies what the cache holds of the request; returns that count.
  std::uint64_t from_cache(std::uint64_t offset, unsigned char* out, std::uint64_t length) const;

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool wrongDevice = false;
  std::string path_;
  Kind kind_ = Kind::Other;
  std::uint64_t sectorSize_ = 0;
  std::uint64_t bufferSize = 0;
  unsigned char* buffer = nullptr;
  std::uint64_t cacheLength = 0;
  std::uint64_t cacheOffset = 0;
  std::vector<HANDLE> lockedVolumes;
  std::vector<Slot> slots; // a ring: `used` slots from `oldest` are taken
  std::size_t oldest = 0;
  std::size_t used = 0;
};

} // namespace dt
