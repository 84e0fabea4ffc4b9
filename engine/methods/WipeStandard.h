#pragma once

#include "WipeContext.h"

// The methods "forward" and "reverse": one pass of the fill pattern, then, when the command
// asks for it, one pass that reads it back.
class WipeStandard : public WipeContext {
public:
  explicit WipeStandard(ProcessClient* client) : WipeContext(client) {}

  // Runs the method; ends with "done", the run time and the run size, and the client's answer.
  // Returns early, after "init failed", when the device cannot be opened.
  void run(const config::Value& command);
};
