#include "Operation.h"

#include "ProcessClient.h"
#include "WipeContext.h"

#include <stdexcept>

void Operation::start(std::uint64_t, std::uint64_t) {
  throw std::runtime_error("Operation.cpp(7)"); // an operation that keeps nothing in flight
}

std::uint64_t Operation::finish() { throw std::runtime_error("Operation.cpp(11)"); }

void Operation::pause_point() {
  if (context_ != nullptr)
    check_pause(context_->client());
}

bool Operation::line_waiting() { return context_ != nullptr && has_input(context_->client()); }

namespace {

void reply_failed(ProcessClient& client, const char* message, std::uint64_t lba,
                  std::uint64_t count) {
  config::Value reply(config::Value::Object);
  reply.set("status", "error");
  reply.set("message", message);
  reply.set("lba", lba);
  reply.set("sectors", count);
  reply_and_read_command(client, reply);
}

} // namespace

void reply_read_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count) {
  reply_failed(client, "read failed", lba, count);
}

void reply_write_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count) {
  reply_failed(client, "write failed", lba, count);
}

void reply_compare_failed(ProcessClient& client, std::uint64_t lba, std::uint64_t count) {
  reply_failed(client, "compare failed", lba, count);
}

void reply_sync_failed(ProcessClient& client) {
  config::Value reply(config::Value::Object);
  reply.set("status", "error");
  reply.set("message", "sync failed");
  reply_and_read_command(client, reply);
}
