#include "Wipe.h"

#include "Operation.h"
#include "OperationStrategyForward.h"
#include "OperationStrategyReverse.h"
#include "Pattern.h"
#include "ProcessClient.h"
#include "VerifyOperationStandard.h"
#include "WipeContext.h"
#include "WipeOperationStandard.h"
#include "WipeStandard.h"

#include "DebugLog.h"

#include <memory>
#include <ostream>
#include <stdexcept>

void WipeInteractive::execute(const config::Value& command) {
  const std::string mode = command.get_string("mode");
  if (mode == "forward" || mode == "reverse") {
    WipeStandard method(client());
    method.run(command);
    return;
  }
  debug_log() << "Wipe.cpp(169): " << mode << "\n";
  throw std::runtime_error("Wipe.cpp(170)");
}

OperationStrategy* make_strategy(WipeContext&, const config::Value& command,
                                 Operation* operation) {
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

} // namespace

void run_verify_pass(WipeContext& context, const config::Value& command, const std::string& name,
                     std::int32_t index) {
  const PassRange range = read_range(command);
  const std::string pattern = command.get_string("pattern");
  VerifyOperationStandard operation(&context, pattern);
  walk(context, command, operation, range, name, index);
  context.report_progress(0, 0, true, true);
}

void run_pattern_pass(WipeContext& context, const config::Value& command,
                      const std::string& name, std::int32_t index) {
  const PassRange range = read_range(command);
  const std::string pattern = command.get_string("pattern");
  // The whole buffer holds the pattern, restarting at every sector, once for the whole pass.
  fill_pattern_sectors(range.sectorsPerTime, context.write_buffer(),
                       context.device().sector_size(), pattern.data(), pattern.size());
  WipeOperationStandard operation(&context);
  walk(context, command, operation, range, name, index);
  if (context.device().sync())
    context.report_progress(0, 0, true, true);
  else
    reply_sync_failed(context.client());
}
