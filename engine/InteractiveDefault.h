#pragma once

#include "Interactive.h"

// The handler of every command but "wipe".
class InteractiveDefault : public Interactive {
public:
  explicit InteractiveDefault(ProcessClient* client) : Interactive(client) {}

  // Runs "read sectors" and "blink" on a copy of the command; answers any other command with
  // "invalid command" and awaits the client's acknowledgement. Both loops end only by an
  // exception, or after "init failed". Throws the value exceptions when "command" is missing or
  // not text.
  void execute(const config::Value& command) override;
};
