#include "WipeStandard.h"

#include "ProcessClient.h"
#include "Wipe.h"

#include "DebugLog.h"

#include <ostream>

void WipeStandard::run(const config::Value& command) {
  const bool verify = command.get_boolean("verify");
  if (!open_device(command, verify ? 2 : 1)) {
    debug_log() << "WipeStandard.cpp(194)\n";
    return;
  }
  timer().start(command.get_number("updatePeriod"));
  run_pattern_pass(*this, command, "wiping", 0);
  if (verify)
    run_verify_pass(*this, command, "verifying", 0);
  config::Value done(config::Value::Object);
  done.set("status", "done");
  done.set("run time", static_cast<long long>(timer().elapsed()));
  done.set("run size", processed_sectors() * device().sector_size());
  reply_and_read_command(client(), done);
}
