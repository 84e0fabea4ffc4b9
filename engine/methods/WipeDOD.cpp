#include "WipeDOD.h"

#include "Passes.h"
#include "Pattern.h"
#include "WipeStandard.h"

#include "DebugLog.h"

#include <ostream>

void WipeDOD::run_c(const config::Value& command) {
  config::Value copy = forward_copy(command);
  copy.set("pattern", pattern_first_byte(command.get_string("pattern")));
  WipeStandard standard(&client());
  standard.run(copy);
}

void WipeDOD::run_de(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeDOD.cpp(36)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  const std::string f = pattern_first_byte(command.get_string("pattern"));
  copy.set("pattern", f);
  timer().start(command.get_number("updatePeriod"));
  run_pattern_pass(*this, copy, "pass", 1);
  copy.set("pattern", pattern_complement(f));
  run_pattern_pass(*this, copy, "pass", 2);
  run_random_pass(*this, copy, "pass", 3);
  reply_done(*this);
}

void WipeDOD::run_h(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, write_mode(verify))) {
    debug_log() << "WipeDOD.cpp(75)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  copy.set("verify", false);
  timer().start(command.get_number("updatePeriod"));
  run_random_pass(*this, copy, "pass", 1);
  copy.set("pattern", std::string(1, '\x00'));
  run_pattern_pass(*this, copy, "pass", 2);
  copy.set("pattern", std::string(1, '\xff'));
  run_pattern_pass(*this, copy, "pass", 3);
  if (verify)
    run_verify_pass(*this, copy, "verifying", 0);
  reply_done(*this);
}
