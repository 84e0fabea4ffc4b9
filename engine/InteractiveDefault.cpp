#include "InteractiveDefault.h"

void InteractiveDefault::execute(const config::Value& command) {
  const std::string& name = command.get("command").as_string();
  // Sector reads and the blink exercise are the commands that belong here; this engine serves
  // neither yet, so every command that reaches this handler is unknown.
  static_cast<void>(name);
  reply_invalid_command(*client());
}
