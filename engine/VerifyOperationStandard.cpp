#include "VerifyOperationStandard.h"

#include "Pattern.h"
#include "ProcessClient.h"
#include "WipeContext.h"

#include <cstring>

VerifyOperationStandard::VerifyOperationStandard(WipeContext* context, const std::string& pattern)
    : Operation(context) {
  fill_pattern(context->write_buffer(), context->device().sector_size(), pattern.data(),
               pattern.size());
}

std::uint64_t VerifyOperationStandard::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  return context().device().read_sectors(lba, count, context().read_buffer());
}

void VerifyOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, false, false);
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* reference = context().write_buffer();
  const unsigned char* sector = context().read_buffer();
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
