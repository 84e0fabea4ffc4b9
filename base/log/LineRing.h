// A stream buffer that keeps the newest lines written to it, up to a number of bytes: the
// in-memory debug log, which must not grow for the life of the program however much is logged.
//
// Lines are kept in blocks of about a sixteenth of the capacity; when the kept text would pass
// the capacity, the oldest block goes, whole lines at a time. text() then begins with one line
// that says how many older lines were dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <streambuf>
#include <string>

class LineRing : public std::streambuf {
public:
  // Keeps at most `capacity` bytes of lines (at least 16).
  explicit LineRing(std::size_t capacity);

  // The kept lines, oldest first, after a note of what was dropped (when anything was), then
  // the line being written, if any. A single line longer than the capacity keeps its start.
  std::string text() const;

  // Lines dropped so far, and their bytes.
  std::uint64_t dropped_lines() const { return droppedLines; }
  std::uint64_t dropped_bytes() const { return droppedBytes; }

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
  struct Block {
    std::string text;
    std::uint64_t lines = 0;
  };

  void add(const char* text, std::size_t count);
  // Moves the finished line into the newest block and drops the oldest blocks beyond capacity.
  void end_line();

  std::size_t capacity;
  std::size_t blockSize;
  std::deque<Block> blocks;
  std::size_t kept = 0; // bytes in blocks
  std::string current;  // the line being written, its line end not yet seen
  std::uint64_t droppedLines = 0;
  std::uint64_t droppedBytes = 0;
};
