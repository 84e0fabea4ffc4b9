#include "OperationStrategyForward.h"

#include "InFlight.h"
#include "Operation.h"

#include <algorithm>

void OperationStrategyForward::run(std::uint64_t lba, std::uint64_t count,
                                   std::uint64_t sectorsPerTime) {
  const std::uint64_t end = lba + count;
  const auto jump = static_cast<std::uint64_t>(jumpAfterErrorSectors);
  std::uint64_t pos = lba;
  // A chunk of 0 sectors would never advance; callers refuse it, and here it counts as 1.
  std::uint64_t chunk = std::max<std::uint64_t>(sectorsPerTime, 1);
  std::uint64_t errors = 0; // chunks in a row that failed at their first sector
  if (pos >= end)
    return;
  InFlight ahead(operation(), InFlight::Way::Upwards, end);
  do {
    chunk = std::min(chunk, end - pos);
    const std::uint64_t d = transfer(ahead, pos, chunk);
    if (d > 0)
      errors = 0;
    if (d == chunk) {
      pos += d;
    } else {
      const std::uint64_t failing = pos + d;
      std::uint64_t j = skip_after(jump, jumpAfterErrorDouble, errors);
      ++errors;
      j = std::min(j, end - failing);
      pos = failing + j;
      operation().on_error(failing, j);
    }
  } while (pos < end);
}

std::uint64_t OperationStrategyForward::transfer(InFlight& ahead, std::uint64_t pos,
                                                 std::uint64_t chunk) {
  const std::uint64_t d = ahead.transfer(pos, chunk);
  if (d > 0)
    operation().on_done(pos, d);
  if (d > 0 || chunk == 1)
    return d;
  // A transfer of several sectors that fails as a whole does not say which sector failed: find
  // it one sector at a time, so that the good sectors before it are transferred and only the
  // failing one is reported.
  std::uint64_t n = 0;
  while (n < chunk && operation().process(pos + n, 1) == 1) {
    operation().on_done(pos + n, 1);
    ++n;
  }
  return n;
}
