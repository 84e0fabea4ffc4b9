// The engine's sector device: turns a device description into an open byte device (a raw disk,
// partition or floppy; an ordinary file; or the emulated device) and reads and writes it by
// sector number.
#pragma once

#include "OpenMode.h"
#include "ReaderWriterStd.h"

#include "ConfigValue.h"

#include <cstdint>
#include <memory>

class DriverStd {
public:
  DriverStd() = default;
  DriverStd(const DriverStd&) = delete;
  DriverStd& operator=(const DriverStd&) = delete;

  // The most bytes that one transfer of the device named by `description` may move, as far as
  // the description tells; open has not run yet and nothing is read that open would refuse.
  static std::uint64_t transfer_limit(const config::Value& description);

  // Opens the device of `description` in `mode`, closing the device held before. Returns false,
  // with debug-log lines, when the device cannot be opened or does not have the sector size asked
  // for; throws the value exceptions for missing or mistyped members, and std::runtime_error for an
  // emulator description that the emulator refuses. After a failure no device is held.
  //
  // An "identity" in the description (a String) names the disk that the device of the machine
  // at "id" must be; when it is another, the open fails before anything of it is touched and
  // wrong_device() tells. A file or the emulated device cannot be told by it and is refused.
  bool open(const config::Value& description, OpenMode mode);
  // The last open failed because the device at "id" was not the disk "identity" names.
  bool wrong_device() const { return wrongDevice; }

  std::uint64_t sector_size() const { return sectorSize_; }

  // Read or write `count` sectors from `lba` into or from a buffer of count x sector size
  // bytes. Return the number of whole sectors transferred from `lba` upwards: fewer than `count`
  // when a transfer came up short, 0 when it failed or no device is open.
  std::uint64_t read_sectors(std::uint64_t lba, std::uint64_t count, void* buffer);
  std::uint64_t write_sectors(std::uint64_t lba, std::uint64_t count, const void* data);

  // Several transfers in flight. How many transfers of `count` sectors to keep in flight at
  // once: 1 for a device that moves one at a time (a file, the emulator), else as many as keep
  // the device busy without holding much memory in flight; CVW_TRANSFERS_IN_FLIGHT, when set
  // to a number, caps it (1: one at a time). The transfers are started with the arguments of
  // read_sectors and write_sectors, and finish_sectors gives the result of the oldest one
  // started and not finished, as those would have given it. A buffer stays untouched until its
  // transfer is finished.
  std::size_t transfers_in_flight(std::uint64_t count) const;
  void start_read_sectors(std::uint64_t lba, std::uint64_t count, void* buffer);
  void start_write_sectors(std::uint64_t lba, std::uint64_t count, const void* data);
  std::uint64_t finish_sectors();
  // The memory that transfer buffers come from, which stays allocated while the device is open,
  // for a device that can lock it once rather than for each transfer.
  void keep_memory(void* start, std::uint64_t length);

  // Flush and close the device; false, with a debug-log line, when the device reports a failure
  // (or when no device is open).
  bool sync();
  bool close();

private:
  std::unique_ptr<dt::ReaderWriterStd> device;
  std::uint64_t sectorSize_ = 512;
  bool wrongDevice = false;
};
