#include "WipeAFSSI.h"

#include "Passes.h"
#include "Pattern.h"

#include "DebugLog.h"

#include <ostream>

void WipeAFSSI::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeAFSSI.cpp(20)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  copy.set("pattern", std::string(1, '\x00'));
  timer().start(command.get_number("updatePeriod"));
  run_pattern_pass(*this, copy, "pass", 1);
  copy.set("pattern", std::string(1, '\xff'));
  run_pattern_pass(*this, copy, "pass", 2);
  copy.set("pattern", pattern_first_byte(command.get_string("pattern")));
  run_pattern_pass(*this, copy, "pass", 3);
  if (verify)
    run_verify_pass(*this, copy, "verifying", 0);
  reply_done(*this);
}
