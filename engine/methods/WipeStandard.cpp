#include "WipeStandard.h"

#include "Passes.h"
#include "ProcessClient.h"

#include "DebugLog.h"

#include <ostream>

void WipeStandard::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeStandard.cpp(194)\n";
    return;
  }
  timer().start(command.get_number("updatePeriod"));
  run_pattern_pass(*this, command, "wiping", 0);
  if (verify)
    run_verify_pass(*this, command, "verifying", 0);
  reply_done(*this);
}
