#include "WipeAR.h"

#include "Passes.h"
#include "Pattern.h"

#include "DebugLog.h"

#include <ostream>

void WipeAR::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeAR.cpp(20)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  copy.set("verify", false);
  timer().start(command.get_number("updatePeriod"));
  run_random_pass(*this, copy, "pass", 1);
  const std::string f = pattern_first_byte(command.get_string("pattern"));
  copy.set("pattern", f);
  run_pattern_pass(*this, copy, "pass", 2);
  copy.set("pattern", pattern_complement(f));
  run_pattern_pass(*this, copy, "pass", 3);
  if (verify)
    run_verify_pass(*this, copy, "verifying", 0);
  reply_done(*this);
}
