#include "WipeOperationStandard.h"

#include "ProcessClient.h"
#include "WipeContext.h"

std::uint64_t WipeOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  return context().device().write_sectors(lba, count, context().write_buffer());
}

void WipeOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, false, false);
}

void WipeOperationStandard::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, true, false);
  check_pause(context().client());
  reply_write_failed(context().client(), lba, count);
}
