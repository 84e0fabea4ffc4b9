// The passes of the wipe methods: each walks the command's range once with one operation, in the
// command's direction, and reports its state and its end on the channel.
#pragma once

#include "ConfigValue.h"

#include <cstdint>
#include <string>

class Operation;
class OperationStrategy;
class ProcessClient;
class WipeContext;

// A new strategy, owned by the caller, that walks `operation` in the command's direction
// ("mode" "forward" or "reverse"). Throws std::runtime_error, with a debug-log line, for any
// other direction.
OperationStrategy* make_strategy(WipeContext& context, const config::Value& command,
                                 Operation* operation);

// Announces the start of a pass (no wait).
void report_state(ProcessClient& client, const std::string& name, std::int32_t index);

// One pass each over the command's range, announced as state `name` with `index`: a read-back
// against "pattern"; a write of "pattern"; a write of random data, read back chunk by chunk when
// the command's "verify" is set. The two writing passes flush the device at their end and report
// "sync failed" when that fails. An "interrupt" ends the pass only; the final report still goes
// out. The passes throw the value exceptions for missing or mistyped members, and std::bad_alloc.
void run_random_pass(WipeContext& context, const config::Value& command, const std::string& name,
                     std::int32_t index);
void run_verify_pass(WipeContext& context, const config::Value& command, const std::string& name,
                     std::int32_t index);
void run_pattern_pass(WipeContext& context, const config::Value& command, const std::string& name,
                      std::int32_t index);

// The end of every method: "done" with the time since the context's timer started and the bytes
// of its last pass, then the wait for the client's answer, which is dropped.
void reply_done(WipeContext& context);

// The working copy of a multi-pass method: the command with "mode" "forward".
config::Value forward_copy(const config::Value& command);
