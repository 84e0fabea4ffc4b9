#include "LineRing.h"

#include <algorithm>
#include <cstring>

LineRing::LineRing(std::size_t capacity)
    : capacity(std::max<std::size_t>(capacity, 16)), blockSize(this->capacity / 16) {}

std::string LineRing::text() const {
  std::string text;
  if (droppedLines > 0)
    text = "LineRing.cpp(20): " + std::to_string(droppedLines) + " older lines (" +
           std::to_string(droppedBytes) + " bytes) dropped\n";
  text.reserve(text.size() + kept + current.size());
  for (const Block& block : blocks)
    text += block.text;
  return text + current;
}

LineRing::int_type LineRing::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  add(&byte, 1);
  return c;
}

std::streamsize LineRing::xsputn(const char* text, std::streamsize count) {
  add(text, static_cast<std::size_t>(count));
  return count;
}

void LineRing::add(const char* text, std::size_t count) {
  while (count > 0) {
    const char* feed = static_cast<const char*>(std::memchr(text, '\n', count));
    const std::size_t part = feed == nullptr ? count : static_cast<std::size_t>(feed - text) + 1;
    // A line longer than the whole ring keeps its start: the unfinished line holds at most
    // capacity - 1 bytes, its line end the last one.
    const std::size_t bytes = feed == nullptr ? part : part - 1;
    current.append(text, std::min(bytes, capacity - 1 - current.size()));
    if (feed != nullptr) {
      current += '\n';
      end_line();
    }
    text += part;
    count -= part;
  }
}

void LineRing::end_line() {
  if (blocks.empty() || blocks.back().text.size() + current.size() > blockSize)
    blocks.emplace_back();
  Block& block = blocks.back();
  block.text += current;
  ++block.lines;
  kept += current.size();
  current.clear();
  while (kept > capacity && blocks.size() > 1) {
    droppedLines += blocks.front().lines;
    droppedBytes += blocks.front().text.size();
    kept -= blocks.front().text.size();
    blocks.pop_front();
  }
}
