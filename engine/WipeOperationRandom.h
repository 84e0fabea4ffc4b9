#pragma once

#include "InFlightBuffers.h"
#include "Operation.h"
#include "random/Random.h"
#include "random/RandomFiller.h"

#include <deque>

// Writes fresh random data over every chunk, one continuous stream of the process generator,
// the same with transfers in flight as one at a time, also after a failure; and, with verify, reads
// each chunk back after it is written and compares it. A read-back that fails is retried sector by
// sector, so that each sector that cannot be read is reported and every other one is compared.
class WipeOperationRandom : public Operation {
public:
  // The chunks are drawn ahead, into the buffers of the context's ring, while those before them
  // are written; each chunk in flight has a buffer of its own.
  WipeOperationRandom(WipeContext* context, bool verify);

  std::uint64_t process(std::uint64_t lba, std::uint64_t count) override;
  std::size_t transfers_in_flight() override;
  void start(std::uint64_t lba, std::uint64_t count) override;
  std::uint64_t finish() override;
  void abandon() override;
  std::uint64_t redo(std::uint64_t lba, std::uint64_t count) override;
  void on_done(std::uint64_t lba, std::uint64_t count) override;
  void on_error(std::uint64_t lba, std::uint64_t count) override;

private:
  // Compares the sectors `from` to `to` (exclusive) of the chunk at `lba` as read back with what
  // was written, and reports each that differs; the whole run at once first, which is all it
  // takes when nothing differs.
  void compare(std::uint64_t lba, std::uint64_t from, std::uint64_t to);
  // The random data of the next chunk of `count` sectors.
  const unsigned char* next_chunk(std::uint64_t count);

  bool verify;
  std::size_t inFlight; // how many chunks the device keeps in flight
  RandomFiller filler;
  InFlightBuffers writes; // last(): the data of the chunk last written
  // Where the process generator stood when each chunk in flight was drawn, oldest first, and
  // when the chunk last finished was: a chunk given up is drawn again from there.
  std::deque<RandomState> starts;
  RandomState lastStart{};
};
