#include "RandomFiller.h"

#include <new>
#include <system_error>

namespace {

// Below this a chunk is drawn in place: handing it to the worker costs more than drawing it.
constexpr std::uint64_t ahead_threshold = 32768;

} // namespace

RandomFiller::RandomFiller(unsigned char* first, unsigned char* second, std::uint64_t capacity)
    : first(first), second(second), capacity(capacity) {}

RandomFiller::~RandomFiller() {
  if (!worker.joinable())
    return;
  {
    const std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  changed.notify_all();
  worker.join();
}

const unsigned char* RandomFiller::next(std::uint64_t length) {
  unsigned char* out = first;
  bool taken = false;
  if (worker.joinable()) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !pending; });
    // The chunk drawn ahead counts only when it is the one asked for, drawn from where the
    // process generator still stands.
    if (ready && aheadLength == length && aheadStart == random_state()) {
      out = aheadBuffer;
      set_random_state(aheadEnd);
      taken = true;
    }
    ready = false;
  }
  if (!taken)
    fill_random(out, length);
  if (second == nullptr || length < ahead_threshold || length > capacity)
    return out;
  if (!worker.joinable()) {
    try {
      worker = std::thread(&RandomFiller::work, this);
    } catch (const std::system_error&) {
      second = nullptr; // no thread to be had: every chunk is drawn in place
      return out;
    }
  }
  {
    const std::lock_guard<std::mutex> guard(lock);
    aheadBuffer = other(out);
    aheadLength = length;
    aheadStart = random_state();
    pending = true;
  }
  changed.notify_all();
  return out;
}

void RandomFiller::work() {
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    changed.wait(guard, [this] { return pending || stopping; });
    if (stopping)
      return;
    RandomState state = aheadStart;
    unsigned char* buffer = aheadBuffer;
    const std::uint64_t length = aheadLength;
    guard.unlock();
    bool drawn = true;
    try {
      fill_random_from(state, buffer, length);
    } catch (const std::bad_alloc&) {
      drawn = false; // the chunk is drawn in place when it is asked for
    }
    guard.lock();
    aheadEnd = state;
    ready = drawn;
    pending = false;
    changed.notify_all();
  }
}
