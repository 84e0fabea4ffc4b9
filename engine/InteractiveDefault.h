#pragma once

#include "Interactive.h"

// The handler of every command but "wipe".
class InteractiveDefault : public Interactive {
public:
  explicit InteractiveDefault(ProcessClient* client) : Interactive(client) {}

  // Answers a command that no handler takes with "invalid command" and awaits the client's
  // acknowledgement. Throws the value exceptions when "command" is missing or not text.
  void execute(const config::Value& command) override;
};
