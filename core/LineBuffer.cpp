#include "LineBuffer.h"

#include "DebugLog.h"

#include <cstring>
#include <limits>
#include <ostream>
#include <stdexcept>

LineBuffer::LineBuffer(Callback* callback, std::uint32_t capacity)
    : callback(callback), buffer(new char[std::size_t(capacity) + 1]), capacity(capacity) {}

void LineBuffer::clear() {
  used = 0;
  scanned = 0;
  skipping = false;
  ++epoch;
}

void LineBuffer::commit(std::uint32_t count) {
  append(count);
  deliver(std::numeric_limits<std::uint32_t>::max());
}

void LineBuffer::append(std::uint32_t count) {
  if (count > free_space())
    throw std::runtime_error("LineBuffer.cpp(30)");
  used += count;
}

bool LineBuffer::has_line() const {
  const char* scan = buffer.get() + scanned;
  const char* const end = buffer.get() + used;
  const char* feed = static_cast<const char*>(std::memchr(scan, '\n', end - scan));
  if (feed != nullptr && skipping)
    feed = static_cast<const char*>(std::memchr(feed + 1, '\n', end - feed - 1));
  return feed != nullptr;
}

std::uint32_t LineBuffer::deliver(std::uint32_t maxLines) {
  char* const front = buffer.get();
  char* const end = front + used;
  char* scan = front + scanned;
  char* start = front;
  if (skipping) {
    char* feed = static_cast<char*>(std::memchr(scan, '\n', end - scan));
    if (feed == nullptr) {
      used = 0;
      scanned = 0;
      return 0;
    }
    skipping = false;
    start = scan = feed + 1;
  }

  const std::uint32_t commitEpoch = epoch;
  std::uint32_t delivered = 0;
  try {
    while (delivered < maxLines) {
      char* feed = static_cast<char*>(std::memchr(scan, '\n', end - scan));
      if (feed == nullptr)
        break;
      if (feed > start && feed[-1] == '\r')
        feed[-1] = '\0';
      else
        *feed = '\0';
      char* const text = start;
      start = scan = feed + 1;
      ++delivered;
      callback->line(text);
      if (epoch != commitEpoch)
        return delivered;
    }
  } catch (...) {
    if (epoch == commitEpoch) {
      used = 0;
      scanned = 0;
      skipping = start != end;
    }
    throw;
  }

  used = static_cast<std::uint32_t>(end - start);
  if (start != front && used != 0)
    std::memmove(front, start, used);
  // The bytes after the budget's last line are still to be searched.
  const bool searched = delivered < maxLines;
  scanned = searched ? used : 0;
  if (searched && used == capacity) {
    debug_log() << "LineBuffer.cpp(61): a line longer than " << capacity << " bytes is dropped\n";
    used = 0;
    scanned = 0;
    skipping = true;
  }
  return delivered;
}
