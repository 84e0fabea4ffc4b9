#include "VerifyOperationStandard.h"

#include "Pattern.h"
#include "ProcessClient.h"
#include "WipeContext.h"

#include <cstring>

VerifyOperationStandard::VerifyOperationStandard(WipeContext* context, const std::string& pattern)
    : Operation(context), inFlight(context->transfers_in_flight()),
      current(context->read_buffer()) {
  const std::uint64_t sectorSize = context->device().sector_size();
  fill_pattern_sectors(sectorSize == 0 ? 0 : context->buffer_bytes() / sectorSize,
                       context->write_buffer(), sectorSize, pattern.data(), pattern.size());
}

std::uint64_t VerifyOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  current = context().read_buffer();
  return context().device().read_sectors(lba, count, current);
}

std::size_t VerifyOperationStandard::transfers_in_flight() { return inFlight; }

void VerifyOperationStandard::start(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  unsigned char* into = context().ring().at(turn++ % inFlight);
  context().device().start_read_sectors(lba, count, into);
  reading.push_back(into);
}

std::uint64_t VerifyOperationStandard::finish() {
  current = reading.front();
  reading.pop_front();
  return context().device().finish_sectors();
}

void VerifyOperationStandard::abandon() {
  for (; !reading.empty(); reading.pop_front())
    context().device().finish_sectors();
}

void VerifyOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, false, false);
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* reference = context().write_buffer();
  const unsigned char* sector = current;
  if (std::memcmp(sector, reference, count * sectorSize) == 0)
    return;
  for (std::uint64_t i = 0; i < count; ++i, sector += sectorSize) {
    if (std::memcmp(sector, reference, sectorSize) != 0)
      reply_compare_failed(context().client(), lba + i, 1);
  }
}

void VerifyOperationStandard::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, true, false);
  check_pause(context().client());
  reply_read_failed(context().client(), lba, count);
}
