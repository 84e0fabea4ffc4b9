#include "WipeOperationStandard.h"

#include "ProcessClient.h"
#include "WipeContext.h"

WipeOperationStandard::WipeOperationStandard(WipeContext* context)
    : Operation(context), transfers(context->device()) {}

std::uint64_t WipeOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  return transfers.write(lba, count, context().write_buffer());
}

std::size_t WipeOperationStandard::transfers_in_flight() { return context().transfers_in_flight(); }

void WipeOperationStandard::start(std::uint64_t lba, std::uint64_t count) {
  transfers.start_write(lba, count, context().write_buffer());
}

std::uint64_t WipeOperationStandard::finish() { return transfers.finish(); }

void WipeOperationStandard::abandon() { transfers.abandon(); }

void WipeOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::WhenDue);
}

void WipeOperationStandard::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::Now);
  check_pause(context().client());
  reply_write_failed(context().client(), lba, count);
}
