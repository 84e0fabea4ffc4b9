#include "OperationStrategyReverse.h"

#include "InFlight.h"
#include "Operation.h"

#include <algorithm>

void OperationStrategyReverse::run(std::uint64_t lba, std::uint64_t count,
                                   std::uint64_t sectorsPerTime) {
  if (count == 0)
    return;
  const auto jump = static_cast<std::uint64_t>(jumpAfterErrorSectors);
  std::uint64_t top = lba + count; // one past the highest unprocessed sector
  std::uint64_t remaining = count;
  // A chunk of 0 sectors would never advance; callers refuse it, and here it counts as 1.
  std::uint64_t chunk = std::max<std::uint64_t>(sectorsPerTime, 1);
  InFlight ahead(operation(), InFlight::Way::Downwards, lba);
  for (;;) {
    chunk = std::min(chunk, remaining);
    const std::uint64_t start = top - chunk;
    const std::uint64_t d = ahead.transfer(start, chunk);
    std::uint64_t errors = 0; // failed probes in a row
    if (d == chunk) {
      remaining -= chunk;
      operation().on_done(start, chunk);
      top = start;
      if (remaining == 0)
        return;
      continue;
    }
    for (;;) {
      if (operation().process(top - 1, 1) == 1) {
        operation().on_done(top - 1, 1);
        --top;
        --remaining;
        if (remaining == 0)
          return;
        break; // a whole chunk again, one sector lower
      }
      std::uint64_t j = skip_after(jump, jumpAfterErrorDouble, errors);
      j = std::min(j, remaining);
      top -= j;
      remaining -= j;
      operation().on_error(top, j);
      ++errors;
      if (remaining == 0)
        return;
    }
  }
}
