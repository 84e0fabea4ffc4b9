#include "Passes.h"

#include "Operation.h"
#include "OperationStrategyForward.h"
#include "OperationStrategyReverse.h"
#include "Pattern.h"
#include "ProcessClient.h"
#include "VerifyOperationStandard.h"
#include "WipeContext.h"
#include "WipeOperationRandom.h"
#include "WipeOperationStandard.h"

#include "DebugLog.h"

#include <memory>
#include <ostream>
#include <stdexcept>

OperationStrategy* make_strategy(WipeContext&, const config::Value& command, Operation* operation) {
  const std::string mode = command.get_string("mode");
  const std::int64_t jump = command.get_number("jumpAfterErrorSectors");
  const bool doubling = command.get_boolean("jumpAfterErrorDouble");
  if (mode == "forward")
    return new OperationStrategyForward(operation, jump, doubling);
  if (mode == "reverse")
    return new OperationStrategyReverse(operation, jump, doubling);
  debug_log() << "Wipe.cpp(92): " << mode << "\n";
  throw std::runtime_error("Wipe.cpp(93)");
}

void report_state(ProcessClient& client, const std::string& name, std::int32_t index) {
  config::Value message(config::Value::Object);
  message.set("status", "update");
  message.set("set_state", name);
  message.set("set_state_index", index);
  write_value(client, message);
}

namespace {

struct PassRange {
  std::uint64_t lba;
  std::uint64_t sectors;
  std::uint64_t sectorsPerTime;
};

PassRange read_range(const config::Value& command) {
  return PassRange{static_cast<std::uint64_t>(command.get_number("lba")),
                   static_cast<std::uint64_t>(command.get_number("sectors")),
                   static_cast<std::uint64_t>(command.get_number("sectorsPerTime"))};
}

// The walk of one pass; an interrupt from the client ends it and nothing else.
void walk(WipeContext& context, const config::Value& command, Operation& operation,
          const PassRange& range, const std::string& name, std::int32_t index) {
  const std::unique_ptr<OperationStrategy> strategy(make_strategy(context, command, &operation));
  context.set_processed_sectors(0);
  try {
    report_state(context.client(), name, index);
    strategy->run(range.lba, range.sectors, range.sectorsPerTime);
  } catch (const Operation::InterruptedException&) {
  }
}

// The end of a pass that wrote: what it wrote is flushed to the device before the pass is reported
// done, so that no wipe ends on writes that only reached a cache; a failed flush is reported
// instead, and waits for the client.
void finish_written_pass(WipeContext& context) {
  if (context.device().sync())
    context.report_progress(0, 0, WipeContext::Report::PassDone);
  else
    reply_sync_failed(context.client());
}

} // namespace

void run_verify_pass(WipeContext& context, const config::Value& command, const std::string& name,
                     std::int32_t index) {
  const PassRange range = read_range(command);
  const std::string pattern = command.get_string("pattern");
  VerifyOperationStandard operation(&context, pattern);
  walk(context, command, operation, range, name, index);
  context.report_progress(0, 0, WipeContext::Report::PassDone);
}

void run_random_pass(WipeContext& context, const config::Value& command, const std::string& name,
                     std::int32_t index) {
  const PassRange range = read_range(command);
  const bool verify = command.get_boolean("verify");
  WipeOperationRandom operation(&context, verify);
  walk(context, command, operation, range, name, index);
  finish_written_pass(context);
}

void run_pattern_pass(WipeContext& context, const config::Value& command, const std::string& name,
                      std::int32_t index) {
  const PassRange range = read_range(command);
  const std::string pattern = command.get_string("pattern");
  // The whole buffer holds the pattern, restarting at every sector, once for the whole pass.
  fill_pattern_sectors(range.sectorsPerTime, context.write_buffer(), context.device().sector_size(),
                       pattern.data(), pattern.size());
  WipeOperationStandard operation(&context);
  walk(context, command, operation, range, name, index);
  finish_written_pass(context);
}

void reply_done(WipeContext& context) {
  config::Value done(config::Value::Object);
  done.set("status", "done");
  done.set("run time", static_cast<long long>(context.timer().elapsed()));
  done.set("run size", context.processed_sectors() * context.device().sector_size());
  reply_and_read_command(context.client(), done);
}

config::Value forward_copy(const config::Value& command) {
  config::Value copy = command;
  copy.set("mode", "forward");
  return copy;
}
