#include "InteractiveDefault.h"

#include "Blink.h"
#include "ProcessClient.h"
#include "ReadSectors.h"

void InteractiveDefault::execute(const config::Value& command) {
  const std::string& name = command.get("command").as_string();
  if (name == "read sectors") {
    config::Value current = command;
    read_sectors(*client(), current);
  } else if (name == "blink") {
    const config::Value copy = command;
    blink(*client(), copy);
  } else {
    reply_invalid_command(*client());
  }
}
