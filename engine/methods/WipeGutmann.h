#pragma once

#include "WipeContext.h"

// The method "gutmann": 35 passes, four of random data, 27 of fixed bytes and byte triples meant
// for old disk encodings, and four more of random data, the last read back chunk by chunk when
// "verify" is set.
class WipeGutmann : public WipeContext {
public:
  explicit WipeGutmann(ProcessClient* client) : WipeContext(client) {}

  // Runs the passes upwards over the command's range on a copy of it and ends with "done" and
  // the client's answer; returns after "init failed" when the device cannot be opened. Throws
  // the value exceptions for missing or mistyped members, where those are read.
  void run(const config::Value& command);
};
