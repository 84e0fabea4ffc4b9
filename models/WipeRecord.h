// The facts of a task's latest wipe, as the wipe certificate shows them: the drive, the range,
// the options, when it was sent and when it was marked finished. Times are seconds since 1970
// in 64 bits.
#pragma once

#include "Drive.h"
#include "WipeOptions.h"

#include <cstdint>

class WipeRecord {
public:
  // Not finished, an empty range, both times 0, a default drive and default options.
  WipeRecord() = default;

  // A wipe of `sectors` sectors from `lba` was sent now: not finished, the range stored, the
  // start time set. The finish time keeps its value.
  void start(std::uint64_t lba, std::uint64_t sectors);
  // The wipe ended without errors now.
  void finish();

  void set_drive(const Drive& drive) { drive_ = drive; }
  void set_options(const WipeOptions& options) { options_ = options; }

  bool finished() const { return finished_; }
  std::uint64_t lba() const { return lba_; }
  std::uint64_t sectors() const { return sectors_; }
  std::int64_t start_time() const { return startTime; }
  std::int64_t finish_time() const { return finishTime; }
  const Drive& drive() const { return drive_; }
  const WipeOptions& options() const { return options_; }

private:
  bool finished_ = false;
  std::uint64_t lba_ = 0;
  std::uint64_t sectors_ = 0;
  std::int64_t startTime = 0;
  std::int64_t finishTime = 0;
  Drive drive_;
  WipeOptions options_;
};
