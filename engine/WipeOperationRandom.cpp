#include "WipeOperationRandom.h"

#include "ProcessClient.h"
#include "WipeContext.h"

#include <cstring>

// The chunks in flight are held in the ring, and the chunk last finished while it is read back:
// as many as are in flight at once, counting the one just started.
WipeOperationRandom::WipeOperationRandom(WipeContext* context, bool verify)
    : Operation(context), verify(verify), inFlight(context->transfers_in_flight()),
      filler(context->ring(), inFlight), writes(context->device()) {}

const unsigned char* WipeOperationRandom::next_chunk(std::uint64_t count) {
  return filler.next(count * context().device().sector_size());
}

// The ring is locked once the first chunk has gone to the device (see WipeContext::keep_ring).
std::uint64_t WipeOperationRandom::process(std::uint64_t lba, std::uint64_t count) {
  check_pause(context().client());
  const std::uint64_t done = writes.write(lba, count, next_chunk(count));
  context().keep_ring();
  return done;
}

std::size_t WipeOperationRandom::transfers_in_flight() { return inFlight; }

void WipeOperationRandom::start(std::uint64_t lba, std::uint64_t count) {
  const RandomState from = random_state();
  writes.start_write(lba, count, next_chunk(count));
  starts.push_back(from);
  context().keep_ring();
}

std::uint64_t WipeOperationRandom::finish() {
  lastStart = starts.front();
  starts.pop_front();
  return writes.finish();
}

// The chunks abandoned were drawn from the stream after the one last finished: the stream goes
// back to where the first of them began, and the walk draws them again when it gets there.
void WipeOperationRandom::abandon() {
  if (!starts.empty())
    set_random_state(starts.front());
  starts.clear();
  writes.abandon();
}

std::uint64_t WipeOperationRandom::redo(std::uint64_t lba, std::uint64_t count) {
  set_random_state(lastStart);
  return process(lba, count);
}

void WipeOperationRandom::on_done(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::WhenDue);
  if (!verify)
    return;
  DriverStd& device = context().device();
  unsigned char* readBack = context().read_buffer();
  const std::uint64_t sectorSize = device.sector_size();
  const std::uint64_t r = device.read_sectors(lba, count, readBack);
  compare(lba, 0, r);
  if (r == count)
    return;
  if (count == 1) {
    reply_read_failed(context().client(), lba, 1);
    return;
  }
  // A read of several sectors that fails does not say which of them cannot be read: read the
  // rest one sector at a time, so that every readable sector is compared and only the runs that
  // cannot be read are reported.
  std::uint64_t unreadable = 0; // sectors in a row, ending just before i, that failed
  for (std::uint64_t i = r; i < count; ++i) {
    if (device.read_sectors(lba + i, 1, readBack + i * sectorSize) != 1) {
      ++unreadable;
      continue;
    }
    if (unreadable > 0)
      reply_read_failed(context().client(), lba + i - unreadable, unreadable);
    unreadable = 0;
    compare(lba, i, i + 1);
  }
  if (unreadable > 0)
    reply_read_failed(context().client(), lba + count - unreadable, unreadable);
}

void WipeOperationRandom::compare(std::uint64_t lba, std::uint64_t from, std::uint64_t to) {
  const std::uint64_t sectorSize = context().device().sector_size();
  const unsigned char* written = writes.last();
  if (from < to && std::memcmp(context().read_buffer() + from * sectorSize,
                               written + from * sectorSize, (to - from) * sectorSize) == 0)
    return;
  for (std::uint64_t i = from; i < to; ++i) {
    if (std::memcmp(context().read_buffer() + i * sectorSize, written + i * sectorSize,
                    sectorSize) != 0)
      reply_compare_failed(context().client(), lba + i, 1);
  }
}

void WipeOperationRandom::on_error(std::uint64_t lba, std::uint64_t count) {
  context().report_progress(lba, count, WipeContext::Report::Now);
  check_pause(context().client());
  reply_write_failed(context().client(), lba, count);
}
