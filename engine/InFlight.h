// The chunks of a walk that are in flight: the one the walk waits for, and the chunks after it
// on its way, started ahead so that the device always has several to work on.
//
// The walk waits only for the chunk it is at, the oldest; the others finish in their turn. When
// that chunk does not transfer all its sectors, the walk leaves its way: the chunks after it are
// finished and dropped unseen, and the walk goes on as if they had never been started. A chunk
// that failed while others were in flight with it is then tried again alone, and only that
// result counts: a device may merge transfers in flight into one request and fail it whole. After
// such a failure the number in flight starts again at one and doubles with every chunk that
// succeeds, so that a walk over a stretch of failing sectors starts little in vain.
//
// A pause finds nothing in flight: while a line from the client waits, no chunk is started ahead,
// and the walk reaches the operation's pause point before it starts the next chunk, once those
// in flight have ended and been seen. So nothing is written while the engine is paused, and an
// interrupt leaves nothing written that the walk has not counted.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

class Operation;

class InFlight {
public:
  // Which way a walk goes through its range.
  enum class Way { Upwards, Downwards };

  // A walk upwards to `limit` (one past its last sector), or downwards to `limit` (its lowest
  // sector), in chunks of the size asked for, each cut at the limit.
  InFlight(Operation& operation, Way way, std::uint64_t limit);
  // Finishes and drops the chunks still in flight.
  ~InFlight();
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

  // What the operation's process(lba, count) returns for the chunk the walk is at, as it would
  // return it with nothing else in flight; the chunks after it on the way are started meanwhile.
  // Exceptions of the operation pass through.
  std::uint64_t transfer(std::uint64_t lba, std::uint64_t count);

private:
  using Chunk = std::pair<std::uint64_t, std::uint64_t>; // first sector, count

  // The chunk after `chunk` on the way; false at the limit.
  bool next(Chunk& chunk) const;
  void drop();

  Operation& operation;
  Way way;
  std::uint64_t limit;
  std::size_t most; // what the operation keeps in flight at most, asked once for the walk
  std::deque<Chunk> started;
  std::size_t window = 1; // how many may be in flight now
  bool alone = false;     // the oldest in flight was started alone and nothing beside it since
};
