#include "VerifyOperationStandard.h"

#include "Pattern.h"
#include "ProcessClient.h"
#include "WipeContext.h"

#include <cstring>

VerifyOperationStandard::VerifyOperationStandard(WipeContext* context, const std::string& pattern)
    : Operation(context), inFlight(context->transfers_in_flight()), reads(context->device()) {
  const std::uint64_t sectorSize = context->device().sector_size();
  fill_pattern_sectors(sectorSize == 0 ? 0 : context->buffer_bytes() / sectorSize,
                       context->write_buffer(), sectorSize, pattern.data(), pattern.size());
}

std::uint64_t VerifyOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  return reads.read(lba, count, context().read_buffer());
}

std::size_t VerifyOperationStandard::transfers_in_flight() { return inFlight; }

void VerifyOperationStandard::start(std::uint64_t lba, std::uint64_t count) {
  reads.start_read(lba, count, context().ring().at(turn++ % inFlight));
}

std::uint64_t VerifyOperationStandard::finish() { return reads.finish(); }

void VerifyOperationStandard::abandon() { reads.abandon(); }

void VerifyOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::WhenDue);
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* reference = context().write_buffer();
  const unsigned char* sector = reads.last();
  if (std::memcmp(sector, reference, count * sectorSize) == 0)
    return;
  for (std::uint64_t i = 0; i < count; ++i, sector += sectorSize) {
    if (std::memcmp(sector, reference, sectorSize) != 0)
      reply_compare_failed(context().client(), lba + i, 1);
  }
}

void VerifyOperationStandard::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::Now);
  check_pause(context().client());
  reply_read_failed(context().client(), lba, count);
}
