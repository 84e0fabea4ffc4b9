// A fixed-capacity byte buffer that turns the chunks read from a pipe into whole lines.
//
// The reader writes at free_begin (at most free_space bytes) and commits what it wrote; every
// line that the new bytes complete goes to the callback, in place and NUL-terminated, without
// its "\n" and without one "\r" directly before it. Bytes of an unfinished line wait at the
// front of the buffer for the next commit. A line that does not fit into the buffer is dropped
// up to its "\n", with one debug-log line, so that reading never stalls on a full buffer.
//
// A reader that must not spend unbounded time on one chunk appends it instead and hands its
// lines out a few at a time with deliver; the lines not yet handed out wait in the buffer.
#pragma once

#include <cstdint>
#include <memory>

class LineBuffer {
public:
  class Callback {
  public:
    // Receives one line; `text` is valid only during the call. A callback that throws ends the
    // commit: the rest of the bytes being split is dropped up to its next line end.
    virtual void line(char* text) = 0;
    virtual ~Callback() = default;
  };

  LineBuffer(Callback* callback, std::uint32_t capacity);
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  char* free_begin() { return buffer.get() + used; }
  std::uint32_t free_space() const { return capacity - used; }

  // Takes `count` bytes just written at free_begin into account and hands every line that they
  // complete to the callback. Throws std::runtime_error "LineBuffer.cpp(30)", changing
  // nothing, when count exceeds free_space.
  void commit(std::uint32_t count);

  // Takes `count` bytes just written at free_begin into account without handing out lines.
  // Throws as commit does.
  void append(std::uint32_t count);
  // Hands the oldest complete lines waiting to the callback, at most `maxLines` of them, and
  // returns how many it handed out.
  std::uint32_t deliver(std::uint32_t maxLines);
  // A complete line waits to be handed out.
  bool has_line() const;

  // Forgets the unfinished line. Called from within a line callback, it also ends the commit
  // that is running: no further line of those bytes is delivered. commit itself must not be
  // called from within a line callback unless clear was called first.
  void clear();

private:
  Callback* callback;
  std::unique_ptr<char[]> buffer;
  std::uint32_t capacity;
  std::uint32_t used = 0;
  // The first bytes held that are known to hold no "\n": the unfinished line searched so far.
  std::uint32_t scanned = 0;
  // Set while the rest of a line that did not fit is skipped up to its "\n".
  bool skipping = false;
  // Counts the calls of clear, so that a commit notices one made by its callback.
  std::uint32_t epoch = 0;
};
