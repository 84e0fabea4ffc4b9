#pragma once

#include "WipeContext.h"

// The methods "navso_p_5239_26" and "ncsc_tg_025": the whole pattern, its complement byte by
// byte, then random data, read back chunk by chunk when "verify" is set.
class WipeNAVSO : public WipeContext {
public:
  explicit WipeNAVSO(ProcessClient* client) : WipeContext(client) {}

  // Runs the passes upwards over the command's range on a copy of it and ends with "done" and
  // the client's answer; returns after "init failed" when the device cannot be opened. Throws
  // the value exceptions for missing or mistyped members, where those are read.
  void run(const config::Value& command);
};
