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
  fillerWakes.notify_one();
  if (worker.joinable())
    worker.join();
}

bool RandomFiller::has_room() const { return !stopping && guess != 0 && drawnUpTo < taken + ahead; }

const unsigned char* RandomFiller::next(std::uint64_t length) {
  if (length > ring.bytes())
    throw std::length_error("RandomFiller.cpp(43)");
  unsigned char* out = ring.at(static_cast<std::size_t>(taken % ring.size()));
  std::unique_lock<std::mutex> lock(mutex);
  // The chunk drawn ahead counts only when it is the one asked for, drawn from where the process
  // generator still stands. While the filler is still to draw the very chunk asked for, it is
  // waited for.
  for (;;) {
    if (drawnUpTo > taken) {
      const Drawn& chunk = drawn[static_cast<std::size_t>(taken % ring.size())];
      if (chunk.length != length || !(chunk.start == random_state()))
        break;
      set_random_state(chunk.end);
      ++taken;
      const bool wake =
          fillerAsleep && taken + ahead - drawnUpTo >= std::max<std::size_t>(ahead / 4, 1);
      lock.unlock();
      if (wake)
        fillerWakes.notify_one();
      return out;
    }
    if (!worker.joinable() || failed || guess != length)
      break; // the filler will not draw it
    takerWaiting = true;
    takerWakes.wait(lock);
    takerWaiting = false;
  }
  // Drawn in place: whatever the filler has drawn or is drawing is of no use any more, and the
  // buffer may be the one it is drawing into.
  ++generation;
  drawnUpTo = taken;
  while (drawing) {
    takerWaiting = true;
    takerWakes.wait(lock);
    takerWaiting = false;
  }
  lock.unlock();
  fill_random(out, length);
  lock.lock();
  ++taken;
  drawnUpTo = taken;
  frontier = random_state();
  guess = length;
  const bool start = !worker.joinable() && !failed && ahead > 0;
  lock.unlock();
  if (start) {
    try {
      worker = std::thread(&RandomFiller::work, this);
    } catch (const std::exception&) {
      lock.lock();
      failed = true; // no thread: every chunk is drawn in place
      lock.unlock();
    }
  } else {
    fillerWakes.notify_one();
  }
  return out;
}

void RandomFiller::work() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    while (!stopping && !has_room()) {
      fillerAsleep = true;
      fillerWakes.wait(lock);
      fillerAsleep = false;
    }
    if (stopping)
      return;
    const std::uint64_t number = drawnUpTo;
    const std::uint64_t length = guess;
    const std::uint64_t expected = generation;
    RandomState state = frontier;
    unsigned char* into = ring.at(static_cast<std::size_t>(number % ring.size()));
    drawing = true;
    lock.unlock();
    bool ok = true;
    Drawn chunk{length, state, state};
    try {
      fill_random_from(chunk.end, into, length);
    } catch (const std::bad_alloc&) {
      ok = false; // the chunks are drawn in place from now on
    }
    lock.lock();
    drawing = false;
    if (!ok) {
      failed = true;
    } else if (generation == expected && number == drawnUpTo) {
      drawn[static_cast<std::size_t>(number % ring.size())] = chunk;
      frontier = chunk.end;
      ++drawnUpTo;
    }
    if (takerWaiting)
      takerWakes.notify_one();
    if (failed)
      return;
  }
}
