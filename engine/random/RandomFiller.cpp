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
    : ring(ring), keep(std::max<std::size_t>(keep, 1)),
      ahead(ring.size() > this->keep ? ring.size() - this->keep : 0), slots(ring.size()) {}

RandomFiller::~RandomFiller() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  fillerWakes.notify_all();
  for (std::thread& worker : workers)
    worker.join();
}

bool RandomFiller::holds_next(const Slot& slot, std::uint64_t length) const {
  return slot.chunk == taken && slot.plan == plan && slot.length == length &&
         slot.start == random_state();
}

bool RandomFiller::has_room() {
  return !stopping && !failed && planned && claimedUpTo < taken + ahead &&
         slot_of(claimedUpTo).owner == Owner::Nobody;
}

RandomFiller::Slot& RandomFiller::claim(Owner owner) {
  Slot& slot = slot_of(claimedUpTo);
  slot.owner = owner;
  slot.chunk = claimedUpTo;
  slot.plan = plan;
  slot.length = guess;
  slot.start = frontier;
  slot.end = frontier;
  frontier = jump->apply(frontier);
  ++claimedUpTo;
  return slot;
}

void RandomFiller::hand_out() {
  ++taken;
  if (taken > keep) {
    Slot& old = slot_of(taken - 1 - keep);
    if (old.owner == Owner::Caller && old.chunk == taken - 1 - keep)
      old.owner = Owner::Nobody;
  }
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
  Slot& slot = slot_of(taken);
  // The chunk drawn ahead counts only when it is the one asked for, drawn from where the process
  // generator still stands. While a filler draws into the buffer, it is waited for: it is
  // either drawing the very chunk asked for, or one of a plan given up, and gives the buffer
  // back when it is done.
  for (;;) {
    if (slot.owner == Owner::Drawn && holds_next(slot, length)) {
      set_random_state(slot.end);
      slot.owner = Owner::Caller;
      hand_out();
      const bool wake =
          asleep > 0 && taken + ahead - claimedUpTo >= std::max<std::size_t>(ahead / 4, 1);
      lock.unlock();
      if (wake)
        fillerWakes.notify_all();
      return out;
    }
    if (slot.owner != Owner::Filler)
      break;
    takerWaiting = true;
    takerWakes.wait(lock);
    takerWaiting = false;
  }
  if (planned && claimedUpTo == taken && guess == length && frontier == random_state()) {
    // The plan's next chunk, which no filler has begun: drawn here, as a filler would.
    claim(Owner::Caller);
    lock.unlock();
    fill_random(out, length);
    lock.lock();
    slot.end = random_state();
    hand_out();
    lock.unlock();
    fillerWakes.notify_all();
    return out;
  }
  // Drawn in place under a new plan: whatever the fillers have drawn is of no use any more, and
  // they draw nothing until the plan goes on from the end of this chunk.
  ++plan;
  planned = false;
  for (Slot& other : slots)
    if (other.owner == Owner::Drawn)
      other.owner = Owner::Nobody;
  slot = Slot{Owner::Caller, taken, plan, length, random_state(), random_state()};
  claimedUpTo = taken + 1;
  lock.unlock();
  fill_random(out, length);
  std::unique_ptr<XorshiftJump> newJump;
  if (guess != length || !jump)
    newJump = std::make_unique<XorshiftJump>(random_outputs(length));
  lock.lock();
  slot.end = random_state();
  frontier = random_state();
  if (newJump) {
    jump = std::move(newJump);
    guess = length;
  }
  planned = true;
  hand_out();
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
    while (!has_room()) {
      if (stopping || failed)
        return;
      ++asleep;
      fillerWakes.wait(lock);
      --asleep;
    }
    Slot& slot = claim(Owner::Filler);
    RandomState state = slot.start;
    const std::uint64_t length = slot.length;
    unsigned char* into = ring.at(static_cast<std::size_t>(slot.chunk % ring.size()));
    lock.unlock();
    bool ok = true;
    try {
      fill_random_from(state, into, length);
    } catch (const std::bad_alloc&) {
      ok = false; // the chunks are drawn in place from now on
    }
    lock.lock();
    const bool current = ok && slot.plan == plan;
    if (!ok)
      failed = true;
    slot.end = state;
    slot.owner = current ? Owner::Drawn : Owner::Nobody;
    if (takerWaiting && (&slot == &slot_of(taken) || failed))
      takerWakes.notify_one();
    if (!current)
      fillerWakes.notify_all(); // a filler may be waiting for this buffer, or must stop
  }
}
