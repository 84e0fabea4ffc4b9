// A drive task's log: the text the operator reads in the task's log window, made of entries
// that each begin with the local time, and the record of the task's latest wipe.
#pragma once

#include "WipeRecord.h"

#include <string>

class Log {
public:
  // Told of every entry.
  class Callback {
  public:
    // `piece` has just been appended to the text: exactly the characters added, the line feed
    // that separates it from the previous entry included.
    virtual void appended(const std::string& piece) = 0;
    virtual ~Callback() = default;
  };

  const std::string& text() const { return text_; }

  // Appends an entry: a line feed unless the text is empty, the local time as the locale writes
  // it and two blanks, then the entry, whose continuation lines are indented so that they line up
  // under its first character. Then tells the callback.
  void add(const std::string& entry);

  // Null stops the notifications; the log does not own the callback.
  void set_callback(Callback* callback) { callback_ = callback; }

  // The latest wipe's facts, for the wipe task model to fill and the windows to read.
  WipeRecord& record() { return record_; }
  const WipeRecord& record() const { return record_; }

private:
  std::string text_;
  Callback* callback_ = nullptr;
  WipeRecord record_;
};
