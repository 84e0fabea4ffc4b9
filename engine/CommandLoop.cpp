#include "CommandLoop.h"

#include "InteractiveDefault.h"
#include "ProcessClient.h"
#include "WipeInteractive.h"

void interactive() {
  const std::unique_ptr<ProcessClient> client = process_client_open();
  InteractiveDefault others(client.get());
  WipeInteractive wipe(client.get());
  for (;;) {
    config::Value command = reply_ready_and_read_command(*client);
    if (command["command"].as_string() == "wipe")
      wipe.execute(command);
    else
      others.execute(command);
  }
}
