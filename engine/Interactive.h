// The engine's command handlers and its command loop.
#pragma once

#include "ConfigValue.h"

class ProcessClient;

// A handler of engine commands; every handler replies through the one client channel.
class Interactive {
public:
  explicit Interactive(ProcessClient* client) : client_(client) {}
  Interactive(const Interactive&) = delete;
  Interactive& operator=(const Interactive&) = delete;

  // Runs one command to its end. Failures leave it as exceptions, which end the engine.
  virtual void execute(const config::Value& command) = 0;
  virtual ~Interactive() = default;

  ProcessClient* client() const { return client_; }

private:
  ProcessClient* client_;
};

// The command loop: announces "ready", runs the command that the client sends, and again. It
// returns only by an exception: end of input, a line that does not parse, a broken channel, an
// "interrupt" outside a wipe pass, or any failure of a command.
void interactive();

// Answers "invalid command" and waits for the client's acknowledgement, which is returned.
config::Value reply_invalid_command(ProcessClient& client);
