#pragma once

#include "WipeContext.h"

// The method "ar_380_19": random data, the pattern's first byte, its complement, and a read-back
// of the complement when "verify" is set.
class WipeAR : public WipeContext {
public:
  explicit WipeAR(ProcessClient* client) : WipeContext(client) {}

  // Runs the passes upwards over the command's range on a copy of it and ends with "done" and
  // the client's answer; returns after "init failed" when the device cannot be opened. Throws
  // the value exceptions for missing or mistyped members, where those are read.
  void run(const config::Value& command);
};
