// The engine's command handler: what the command loop hands a command to.
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
