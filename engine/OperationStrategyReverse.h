#pragma once

#include "OperationStrategy.h"

// Walks downwards in whole chunks. A chunk that fails is not counted at all; single sectors are
// then probed from the top down until the failing one is found, and the skip runs downwards
// from it. The chunks below are kept in flight while the walk waits for one; the walk sees them
// one after the other, as if each were transferred only when its turn came.
class OperationStrategyReverse : public OperationStrategy {
public:
  OperationStrategyReverse(Operation* operation, std::int64_t jumpAfterErrorSectors,
                           bool jumpAfterErrorDouble)
      : OperationStrategy(operation), jumpAfterErrorSectors(jumpAfterErrorSectors),
        jumpAfterErrorDouble(jumpAfterErrorDouble) {}

  void run(std::uint64_t lba, std::uint64_t count, std::uint64_t sectorsPerTime) override;

private:
  std::int64_t jumpAfterErrorSectors;
  bool jumpAfterErrorDouble;
};
