#include "PeriodTimer.h"

#include <chrono>

std::int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void PeriodTimer::start_at(std::int64_t period, std::int64_t now) {
  this->period = period;
  started = now;
  last = now;
}

bool PeriodTimer::period_elapsed() {
  if (period == 0)
    return false;
  return period_elapsed_at(now_ms());
}

bool PeriodTimer::period_elapsed_at(std::int64_t now) {
  if (period == 0 || now < last + period)
    return false;
  last = now;
  return true;
}
