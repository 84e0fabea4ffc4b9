#include "FloodGate.h"

#include <algorithm>
#include <chrono>
#include <cstring>

FloodGate::FloodGate(std::streambuf* target, std::size_t burst, std::size_t rate, Clock clock)
    : target(target), burst(static_cast<double>(burst)), rate(static_cast<double>(rate)),
      clock(std::move(clock)), budget(this->burst), refilled(this->clock()) {}

FloodGate::~FloodGate() {
  tell_dropped();
  if (!current.empty() && current.size() <= burst)
    put(current);
}

std::int64_t FloodGate::steady_microseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

FloodGate::int_type FloodGate::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  add(&byte, 1);
  return c;
}

std::streamsize FloodGate::xsputn(const char* text, std::streamsize count) {
  add(text, static_cast<std::size_t>(count));
  return count;
}

void FloodGate::add(const char* text, std::size_t count) {
  while (count > 0) {
    const char* feed = static_cast<const char*>(std::memchr(text, '\n', count));
    const std::size_t part = feed == nullptr ? count : static_cast<std::size_t>(feed - text) + 1;
    // A line longer than the whole budget never passes: its bytes are only counted, so that a
    // line without an end cannot grow without bound.
    if (current.size() <= burst)
      current.append(text, part);
    else
      droppedBytes += part;
    if (feed != nullptr)
      end_line();
    text += part;
    count -= part;
  }
}

void FloodGate::end_line() {
  const std::int64_t now = clock();
  budget = std::min(burst, budget + static_cast<double>(now - refilled) * rate / 1e6);
  refilled = now;
  const double size = static_cast<double>(current.size());
  if (size <= budget && size <= burst) {
    tell_dropped();
    put(current);
    budget -= size;
  } else {
    ++droppedLines;
    droppedBytes += current.size();
  }
  current.clear();
}

void FloodGate::put(const std::string& text) {
  target->sputn(text.data(), static_cast<std::streamsize>(text.size()));
  target->pubsync();
}

void FloodGate::tell_dropped() {
  if (droppedLines == 0 && droppedBytes == 0)
    return;
  put("FloodGate.cpp(70): " + std::to_string(droppedLines) + " lines (" +
      std::to_string(droppedBytes) + " bytes) dropped in a flood\n");
  droppedLines = 0;
  droppedBytes = 0;
}
