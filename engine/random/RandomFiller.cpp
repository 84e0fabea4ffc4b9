#include "RandomFiller.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <new>

namespace {

// Below this a chunk is drawn in place: handing it over costs more than drawing it.
constexpr std::uint64_t ahead_threshold = 524288;

// How long a side polls before it blocks: longer than a chunk of the usual size takes to write.
constexpr std::chrono::microseconds polling{200};

} // namespace

RandomFiller::RandomFiller(unsigned char* first, std::uint64_t capacity, std::size_t buffers)
    : capacity(capacity), ring(first, capacity, std::max<std::size_t>(buffers, 2)) {}

RandomFiller::~RandomFiller() {
  if (!worker.joinable())
    return;
  await_change(Asked); // the worker must be done with the buffers
  set_phase(Stopping);
  worker.join();
}

RandomFiller::Phase RandomFiller::await_change(Phase from) {
  const auto until = std::chrono::steady_clock::now() + polling;
  for (unsigned i = 1;; ++i) {
    const auto now = static_cast<Phase>(phase.load(std::memory_order_acquire));
    if (now != from)
      return now;
    if (i % 64 == 0 && std::chrono::steady_clock::now() > until)
      break;
  }
  for (;;) {
    phase.wait(from, std::memory_order_acquire);
    const auto now = static_cast<Phase>(phase.load(std::memory_order_acquire));
    if (now != from)
      return now;
  }
}

void RandomFiller::set_phase(Phase to) {
  phase.store(to, std::memory_order_release);
  phase.notify_one();
}

const unsigned char* RandomFiller::next(std::uint64_t length) {
  unsigned char* out = ring.at(turn);
  turn = (turn + 1) % ring.size();
  bool taken = false;
  if (worker.joinable()) {
    // The chunk drawn ahead counts only when it is the one asked for, drawn from where the
    // process generator still stands.
    const Phase drawn = await_change(Asked);
    if (drawn == Drawn && aheadBuffer == out && aheadLength == length &&
        aheadStart == random_state()) {
      set_random_state(aheadEnd);
      taken = true;
    }
  }
  if (!taken)
    fill_random(out, length);
  if (inPlace || length < ahead_threshold || length > capacity)
    return out;
  unsigned char* following = ring.at(turn);
  if (!worker.joinable()) {
    try {
      worker = std::thread(&RandomFiller::work, this);
    } catch (const std::exception&) {
      inPlace = true; // no thread: every chunk is drawn in place
      return out;
    }
  }
  aheadBuffer = following;
  aheadLength = length;
  aheadStart = random_state();
  set_phase(Asked);
  return out;
}

void RandomFiller::work() {
  for (;;) {
    Phase now = static_cast<Phase>(phase.load(std::memory_order_acquire));
    while (now != Asked && now != Stopping)
      now = await_change(now);
    if (now == Stopping)
      return;
    RandomState state = aheadStart;
    Phase result = Drawn;
    try {
      fill_random_from(state, aheadBuffer, aheadLength);
    } catch (const std::bad_alloc&) {
      result = Failed; // the chunk is drawn in place when it is asked for
    }
    aheadEnd = state;
    set_phase(result);
  }
}
