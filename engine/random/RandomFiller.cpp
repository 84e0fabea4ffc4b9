#include "RandomFiller.h"

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>

namespace {

// What is drawn ahead at most, in bytes, and in chunks: enough that the writes go on for a few
// milliseconds while the filler waits to be scheduled on a busy machine.
constexpr std::uint64_t ahead_bytes = 4u << 20;
constexpr std::size_t most_ahead = 64;

// Filler threads at most.
constexpr std::size_t most_fillers = 2;

} // namespace

std::size_t RandomFiller::ahead_for(std::uint64_t bytes) {
  if (bytes >= 2 * ahead_bytes)
    return 1; // a chunk that large is drawn long before the one ahead of it is written
  return std::clamp<std::size_t>(
      static_cast<std::size_t>(ahead_bytes / std::max<std::uint64_t>(bytes, 1)), 2, most_ahead);
}

RandomFiller::RandomFiller(BufferRing& ring, std::size_t keep)
    : ring(ring), ahead(ring.size() > keep ? ring.size() - keep : 0), drawn(ring.size()) {}

RandomFiller::~RandomFiller() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  fillerWakes.notify_all();
  for (std::thread& worker : workers)
    worker.join();
}

bool RandomFiller::has_room() const {
  return !stopping && !failed && guess != 0 && claimedUpTo < taken + ahead;
}

void RandomFiller::start_fillers() {
  // One filler draws faster than most devices write; a second keeps up with the fastest, where
  // the processor has the cores to spare.
  const std::size_t count = std::thread::hardware_concurrency() >= 4 ? most_fillers : 1;
  for (std::size_t i = 0; i < count; ++i) {
    try {
      workers.emplace_back(&RandomFiller::work, this);
    } catch (const std::exception&) {
      break; // fewer fillers; with none, every chunk is drawn in place
    }
  }
}

const unsigned char* RandomFiller::next(std::uint64_t length) {
  if (length > ring.bytes())
    throw std::length_error("RandomFiller.cpp(43)");
  unsigned char* out = ring.at(static_cast<std::size_t>(taken % ring.size()));
  std::unique_lock<std::mutex> lock(mutex);
  // The chunk drawn ahead counts only when it is the one asked for, drawn from where the process
  // generator still stands. While the fillers are still to draw the very chunk asked for, it is
  // waited for.
  for (;;) {
    if (drawnUpTo > taken) {
      const Drawn& chunk = drawn[static_cast<std::size_t>(taken % ring.size())];
      if (chunk.length != length || !(chunk.start == random_state()))
        break;
      set_random_state(chunk.end);
      ++taken;
      const bool wake =
          asleep > 0 && taken + ahead - claimedUpTo >= std::max<std::size_t>(ahead / 4, 1);
      lock.unlock();
      if (wake)
        fillerWakes.notify_all();
      return out;
    }
    if (workers.empty() || failed || guess != length)
      break; // no filler will draw it
    takerWaiting = true;
    takerWakes.wait(lock);
    takerWaiting = false;
  }
  // Drawn in place: whatever the fillers have drawn or are drawing is of no use any more, and the
  // buffer may be one they are drawing into.
  ++generation;
  while (drawing > 0) {
    takerWaiting = true;
    takerWakes.wait(lock);
    takerWaiting = false;
  }
  lock.unlock();
  fill_random(out, length);
  std::unique_ptr<XorshiftJump> newJump;
  if (guess != length || !jump)
    newJump = std::make_unique<XorshiftJump>(random_outputs(length));
  lock.lock();
  ++taken;
  drawnUpTo = taken;
  claimedUpTo = taken;
  frontier = random_state();
  if (newJump) {
    jump = std::move(newJump);
    guess = length;
  }
  const bool start = workers.empty() && !failed && ahead > 0;
  lock.unlock();
  if (start)
    start_fillers();
  else
    fillerWakes.notify_all();
  return out;
}

void RandomFiller::work() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    while (!stopping && !has_room()) {
      ++asleep;
      fillerWakes.wait(lock);
      --asleep;
    }
    if (stopping || failed)
      return;
    const std::uint64_t number = claimedUpTo++;
    const std::uint64_t length = guess;
    const std::uint64_t expected = generation;
    Drawn chunk{length, frontier, frontier, false};
    frontier = jump->apply(frontier);
    Drawn& slot = drawn[static_cast<std::size_t>(number % ring.size())];
    slot.ready = false;
    unsigned char* into = ring.at(static_cast<std::size_t>(number % ring.size()));
    ++drawing;
    lock.unlock();
    bool ok = true;
    try {
      fill_random_from(chunk.end, into, length);
    } catch (const std::bad_alloc&) {
      ok = false; // the chunks are drawn in place from now on
    }
    lock.lock();
    --drawing;
    if (!ok) {
      failed = true;
    } else if (generation == expected) {
      chunk.ready = true;
      slot = chunk;
      while (drawnUpTo < claimedUpTo &&
             drawn[static_cast<std::size_t>(drawnUpTo % ring.size())].ready)
        ++drawnUpTo;
    }
    if (takerWaiting)
      takerWakes.notify_one();
    if (failed) {
      fillerWakes.notify_all(); // the other fillers stop too
      return;
    }
  }
}
