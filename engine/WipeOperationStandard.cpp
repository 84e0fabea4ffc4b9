#include "WipeOperationStandard.h"

#include "ProcessClient.h"
#include "WipeContext.h"

std::uint64_t WipeOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  return context().device().write_sectors(lba, count, context().write_buffer());
}

std::size_t WipeOperationStandard::transfers_in_flight() { return context().transfers_in_flight(); }

void WipeOperationStandard::start(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  context().device().start_write_sectors(lba, count, context().write_buffer());
  ++inFlight;
}

std::uint64_t WipeOperationStandard::finish() {
  --inFlight;
  return context().device().finish_sectors();
}

void WipeOperationStandard::abandon() {
  for (; inFlight > 0; --inFlight)
    context().device().finish_sectors();
}

void WipeOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, false, false);
}

void WipeOperationStandard::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, true, false);
  check_pause(context().client());
  reply_write_failed(context().client(), lba, count);
}
