#pragma once

#include "OperationStrategy.h"

class InFlight;

// Walks upwards. After a failure the walk goes on behind the failing sector and the skipped run
// that follows it; the sectors of a short chunk that were transferred count as done. A chunk
// that fails without transferring anything is tried again sector by sector up to its first
// failing sector, so the failure names that sector and the good ones before it are not lost.
// The chunks that follow are kept in flight while the walk waits for one; the walk sees them
// one after the other, as if each were transferred only when its turn came.
class OperationStrategyForward : public OperationStrategy {
public:
  OperationStrategyForward(Operation* operation, std::int64_t jumpAfterErrorSectors,
                           bool jumpAfterErrorDouble)
      : OperationStrategy(operation), jumpAfterErrorSectors(jumpAfterErrorSectors),
        jumpAfterErrorDouble(jumpAfterErrorDouble) {}

  void run(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorsPerTime) override;

private:
  // One chunk from `pos`: the sectors transferred before the first failing one, each reported
  // done; `chunk` when all went well.
  std::uint64_t transfer(InFlight& ahead, std::uint64_t pos, std::uint64_t chunk);

  std::int64_t jumpAfterErrorSectors;
  bool jumpAfterErrorDouble;
};
