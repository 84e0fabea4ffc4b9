// What every wipe method works with: the client channel, the sector device, the transfer
// buffers, the progress timer and the count of sectors handled in the current pass.
#pragma once

#include "BufferRing.h"
#include "DriverStd.h"
#include "PeriodTimer.h"

#include "ConfigValue.h"

#include <cstdint>
#include <memory>

class ProcessClient;

class WipeContext {
public:
  explicit WipeContext(ProcessClient* client) : client_(client) {}
  WipeContext(const WipeContext&) = delete;
  WipeContext& operator=(const WipeContext&) = delete;

  // Opens the command's "device" in `mode` and allocates buffers for "sectorsPerTime" sectors:
  // a write buffer, and a read buffer unless the mode is Write. A
  // chunk size, sector size or range that the device cannot serve is refused before the device
  // is opened. On any refusal or failure the client gets "init failed" ("wrong device" when the
  // device is not the disk that the description's "identity" names), its answer is awaited,
  // and the result is false. Throws the value exceptions for missing or mistyped members, and
  // std::bad_alloc when the buffers cannot be had.
  bool open_device(const config::Value& command, OpenMode mode);

  // When report_progress tells the client: when the timer fires, at once, or at once with the
  // final report of a pass.
  enum class Report { WhenDue, Now, PassDone };

  // Counts `count` more sectors handled, and tells the client as `report` says: the final
  // report of a pass for PassDone, else the run and the count so far.
  void report_progress(std::uint64_t lba, std::uint64_t count, Report report);

  ProcessClient& client() { return *client_; }
  DriverStd& device() { return device_; }
  // The write and the read buffer, each locked for the device the first time it is asked for
  // after open_device: a wipe whose first pass is random does not wait for them to be made.
  unsigned char* write_buffer() { return kept(writeBuffer_, writeKept); }
  unsigned char* read_buffer() { return kept(readBuffer_, readKept); }
  // Bytes each buffer holds from its aligned start: "sectorsPerTime" whole sectors.
  std::uint64_t buffer_bytes() const { return bufferBytes_; }
  // How many chunks of the buffers' size the device keeps in flight at once.
  std::size_t transfers_in_flight() const;
  // The buffers of the chunks in flight, and of the random data drawn ahead of them: as many as
  // the device keeps in flight and the filler draws ahead, of buffer_bytes() each, allocated in one
  // block at the first call after open_device and kept for the rest of the wipe. Throws
  // std::bad_alloc when the memory cannot be had.
  BufferRing& ring();
  // Locks the ring for the device, once per wipe (later calls do nothing): called once the first
  // chunk has gone to the device, so that the first write does not wait while the system makes
  // every page of the ring. Locking has it make the pages not yet written all at once, which
  // gives the device longer runs of memory in one piece than pages made one by one as the
  // fillers first write them: a disk that takes a transfer in a limited number of pieces writes
  // the chunks faster.
  void keep_ring();
  // The buffers that a verifying pass reads the chunks in flight into: as many as the device
  // keeps in flight, of buffer_bytes() each, allocated in one block of large pages (where the
  // system gives them) at the first call after open_device and locked for the device at once, so
  // that their memory lies in long runs, which the device fills in few pieces, rather than in the
  // pages that the random fillers make one by one as they first write the ring's. Kept for the
  // rest of the wipe. Throws std::bad_alloc when the memory cannot be had.
  BufferRing& read_ring();
  PeriodTimer& timer() { return timer_; }
  std::uint64_t processed_sectors() const { return processedSectors_; }
  void set_processed_sectors(std::uint64_t count) { processedSectors_ = count; }

private:
  // `buffer`, locked for the device unless `done` says it is already.
  unsigned char* kept(unsigned char* buffer, bool& done) {
    if (!done && buffer != nullptr)
      device_.keep_memory(buffer, bufferBytes_);
    done = true;
    return buffer;
  }

  ProcessClient* client_;
  // The memory is declared before the device, so that the device, which may hold it locked, is
  // closed first.
  std::unique_ptr<unsigned char[]> writeAllocation;
  unsigned char* writeBuffer_ = nullptr;
  std::unique_ptr<unsigned char[]> readAllocation;
  unsigned char* readBuffer_ = nullptr;
  std::unique_ptr<BufferRing> ring_;
  std::unique_ptr<BufferRing> readRing;
  bool writeKept = false;
  bool readKept = false;
  bool ringKept = false;
  DriverStd device_;
  std::uint64_t bufferBytes_ = 0;
  PeriodTimer timer_;
  std::uint64_t processedSectors_ = 0;
};
