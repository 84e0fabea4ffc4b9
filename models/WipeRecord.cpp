#include "WipeRecord.h"

#include "LocalTime.h"

void WipeRecord::start(std::uint64_t lba, std::uint64_t sectors) {
  finished_ = false;
  lba_ = lba;
  sectors_ = sectors;
  startTime = current_time();
}

void WipeRecord::finish() {
  finished_ = true;
  finishTime = current_time();
}
