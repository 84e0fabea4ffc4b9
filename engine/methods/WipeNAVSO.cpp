#include "WipeNAVSO.h"

#include "Passes.h"
#include "Pattern.h"

#include "DebugLog.h"

#include <ostream>

void WipeNAVSO::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeNAVSO.cpp(20)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  timer().start(command.get_number("updatePeriod"));
  run_pattern_pass(*this, copy, "pass", 1);
  copy.set("pattern", pattern_complement(command.get_string("pattern")));
  run_pattern_pass(*this, copy, "pass", 2);
  run_random_pass(*this, copy, "pass", 3);
  reply_done(*this);
}
