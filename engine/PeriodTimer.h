// The millisecond clock and the timer that paces progress reports.
#pragma once

#include <cstdint>

// Milliseconds of a monotonic clock: run times and pacing do not jump when the wall clock is
// set. Only differences between two readings mean anything.
std::int64_t now_ms();

class PeriodTimer {
public:
  // Starts the timer now, firing every `period` milliseconds (0: never).
  void start(std::int64_t period) { start_at(period, now_ms()); }
  void start_at(std::int64_t period, std::int64_t now);

  // Milliseconds since start.
  std::int64_t elapsed() const { return now_ms() - started; }

  // Whether a period has passed since the timer last fired (or started); when it has, the next
  // period counts from now. A period of 0 never fires and does not read the clock.
  bool period_elapsed();
  bool period_elapsed_at(std::int64_t now);

private:
  std::int64_t started = 0;
  std::int64_t period = 0;
  std::int64_t last = 0;
};
