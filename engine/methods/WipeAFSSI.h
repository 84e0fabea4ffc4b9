#pragma once

#include "WipeContext.h"

// The method "afssi_5020": 0x00, 0xFF, the pattern's first byte, and a read-back of that byte
// when "verify" is set.
class WipeAFSSI : public WipeContext {
public:
  explicit WipeAFSSI(ProcessClient* client) : WipeContext(client) {}

  // Runs the passes upwards over the command's range on a copy of it and ends with "done" and
  // the client's answer; returns after "init failed" when the device cannot be opened. Throws
  // the value exceptions for missing or mistyped members, where those are read.
  void run(const config::Value& command);
};
