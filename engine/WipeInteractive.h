// The "wipe" command: the method picked by "mode" runs on a fresh wipe context, pass after pass.
#pragma once

#include "Interactive.h"

class WipeInteractive : public Interactive {
public:
  explicit WipeInteractive(ProcessClient* client) : Interactive(client) {}

  // Runs one "wipe" command to its end; its replies go out on the channel. Throws
  // std::runtime_error, with a debug-log line, for a "mode" that no method has, and lets every
  // failure of the method pass.
  void execute(const config::Value& command) override;
};
