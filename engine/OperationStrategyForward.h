#pragma once

#include "OperationStrategy.h"

// Walks upwards. After a failure the walk goes on behind the failing sector and the skipped run
// that follows it; the sectors of a short chunk that were transferred count as done.
class OperationStrategyForward : public OperationStrategy {
public:
  OperationStrategyForward(Operation* operation, std::int64_t jumpAfterErrorSectors,
                           bool jumpAfterErrorDouble)
      : OperationStrategy(operation), jumpAfterErrorSectors(jumpAfterErrorSectors),
        jumpAfterErrorDouble(jumpAfterErrorDouble) {}

  void run(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorsPerTime) override;

private:
  std::int64_t jumpAfterErrorSectors;
  bool jumpAfterErrorDouble;
};
