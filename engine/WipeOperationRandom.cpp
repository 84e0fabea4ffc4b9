#include "WipeOperationRandom.h"

#include "ProcessClient.h"
#include "WipeContext.h"

#include <cstring>

WipeOperationRandom::WipeOperationRandom(WipeContext* context, bool verify)
    : Operation(context), verify(verify), filler(context->write_buffer(), context->buffer_bytes()) {
}

std::uint64_t WipeOperationRandom::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  written = filler.next(count * context().device().sector_size());
  return context().device().write_sectors(lba, count, written);
}

void WipeOperationRandom::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, false, false);
  if (!verify)
    return;
  const std::uint64_t r = context().device().read_sectors(lba, count, context().read_buffer());
  if (r < count)
    reply_read_failed(context().client(), lba + r, count - r);
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* sector = context().read_buffer();
  const unsigned char* expected = written;
  for (std::uint64_t i = 0; i < r; ++i, sector += sectorSize, expected += sectorSize) {
    if (std::memcmp(sector, expected, sectorSize) != 0)
      reply_compare_failed(context().client(), lba + i, 1);
  }
}

void WipeOperationRandom::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, true, false);
  check_pause(context().client());
  reply_write_failed(context().client(), lba, count);
}
