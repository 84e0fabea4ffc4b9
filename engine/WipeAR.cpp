#include "WipeAR.h"

#include "Wipe.h"

#include "DebugLog.h"

#include <ostream>

void WipeAR::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, verify ? 2 : 1)) {
    debug_log() << "WipeAR.cpp(20)\n";
    return;
  }
  config::Value copy = forward_copy(command);
  copy.set("verify", false);
  timer().start(command.get_number("updatePeriod"));
  run_random_pass(*this, copy, "pass", 1);
  const std::string pattern = command.get_string("pattern");
  const unsigned char f = pattern.empty() ? 0 : static_cast<unsigned char>(pattern[0]);
  copy.set("pattern", std::string(1, static_cast<char>(f)));
  run_pattern_pass(*this, copy, "pass", 2);
  copy.set("pattern", std::string(1, static_cast<char>(f ^ 0xFF)));
  run_pattern_pass(*this, copy, "pass", 3);
  if (verify)
    run_verify_pass(*this, copy, "verifying", 0);
  reply_done(*this);
}
