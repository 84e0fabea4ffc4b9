#include "VerifyOperationStandard.h"

#include "Pattern.h"
#include "ProcessClient.h"
#include "WipeContext.h"

#include <algorithm>
#include <cstring>

namespace {

// The most bytes of the reference that a chunk is compared with at a time: few enough to stay in
// the processor's nearest caches while the chunk read back streams past them, so that comparing
// a chunk fetches the chunk alone from memory.
constexpr std::uint64_t compared_bytes = 64 * 1024;

// Whether the `length` bytes at `data` are copies of the first `piece` bytes at `reference`, one
// after the other, the last one cut short.
bool repeats(const unsigned char* data, std::uint64_t length, const unsigned char* reference,
             std::uint64_t piece) {
  for (std::uint64_t at = 0; at < length; at += piece)
    if (std::memcmp(data + at, reference, std::min(piece, length - at)) != 0)
      return false;
  return true;
}

} // namespace

VerifyOperationStandard::VerifyOperationStandard(WipeContext* context, const std::string& pattern)
    : Operation(context), inFlight(context->transfers_in_flight()), reads(context->device()),
      buffers(inFlight > 1 ? &context->read_ring() : nullptr) {
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
  reads.start_read(lba, count, buffers->at(turn++ % inFlight));
}

std::uint64_t VerifyOperationStandard::finish() { return reads.finish(); }

void VerifyOperationStandard::abandon() { reads.abandon(); }

void VerifyOperationStandard::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::WhenDue);
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* reference = context().write_buffer();
  const unsigned char* sector = reads.last();
  // Every sector of the reference holds the pattern: any run of its whole sectors is what a run
  // of as many sectors of the chunk must hold.
  const std::uint64_t piece = std::max(sectorSize, compared_bytes / sectorSize * sectorSize);
  if (repeats(sector, count * sectorSize, reference, std::min(piece, context().buffer_bytes())))
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
