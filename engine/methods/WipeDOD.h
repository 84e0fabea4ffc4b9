#pragma once

#include "WipeContext.h"

// The methods "dod_c", "dod_d" and "dod_e", and "dod_h". Each operation runs its passes over
// the command's range, upwards, and ends with "done" and the client's answer; when the device
// cannot be opened the client has had "init failed" and no pass runs. The command is never
// changed: the passes work on a copy. They throw the value exceptions for missing or mistyped
// members, where those are read.
class WipeDOD : public WipeContext {
public:
  explicit WipeDOD(ProcessClient* client) : WipeContext(client) {}

  // One pass of the pattern's first byte, and a read-back of it when "verify" is set.
  void run_c(const config::Value& command);
  // The pattern's first byte, its complement, then random data, read back chunk by chunk when
  // "verify" is set. Serves "dod_d" and "dod_e" alike.
  void run_de(const config::Value& command);
  // Random data, 0x00, 0xFF, and a read-back of 0xFF when "verify" is set.
  void run_h(const config::Value& command);
};
