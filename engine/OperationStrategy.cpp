#include "OperationStrategy.h"

#include <limits>

std::uint64_t OperationStrategy::skip_after(std::uint64_t jump, bool doubling,
                                            std::uint64_t failures) {
  if (!doubling || jump == 0 || failures == 0)
    return jump;
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  if (failures >= 64 || jump > (most >> failures))
    return most;
  return jump << failures;
}
