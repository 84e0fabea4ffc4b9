#include "LineBuffer.h"

#include "DebugLog.h"

#include <cstring>
#include <ostream>
#include <stdexcept>

LineBuffer::LineBuffer(Callback* callback, std::uint32_t capacity)
    : callback(callback), buffer(new char[std::size_t(capacity) + 1]), capacity(capacity) {}

void LineBuffer::clear() {
  used = 0;
  skipping = false;
  ++epoch;
}

void LineBuffer::commit(std::uint32_t count) {
  if (count > free_space())
    throw std::runtime_error("LineBuffer.cpp(30)");
  char* const front = buffer.get();
  char* const end = front + used + count;
  char* scan = front + used;
  char* start = front;
  if (skipping) {
    char* feed = static_cast<char*>(std::memchr(scan, '\n', end - scan));
    if (feed == nullptr) {
      used = 0;
      return;
    }
    skipping = false;
    start = scan = feed + 1;
  }

  const std::uint32_t commitEpoch = epoch;
  try {
    while (char* feed = static_cast<char*>(std::memchr(scan, '\n', end - scan))) {
      if (feed > start && feed[-1] == '\r')
        feed[-1] = '\0';
      else
        *feed = '\0';
      char* const text = start;
      start = scan = feed + 1;
      callback->line(text);
      if (epoch != commitEpoch)
        return;
    }
  } catch (...) {
    if (epoch == commitEpoch) {
      used = 0;
      skipping = start != end;
    }
    throw;
  }

  used = static_cast<std::uint32_t>(end - start);
  if (start != front && used != 0)
    std::memmove(front, start, used);
  if (used == capacity) {
    debug_log() << "LineBuffer.cpp(61): a line longer than " << capacity
                << " bytes is dropped\n";
    used = 0;
    skipping = true;
  }
}
