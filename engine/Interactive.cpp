#include "Interactive.h"

#include "InteractiveDefault.h"
#include "ProcessClient.h"
#include "Wipe.h"

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

config::Value reply_invalid_command(ProcessClient& client) {
  config::Value reply(config::Value::Object);
  reply.set("status", "error");
  reply.set("message", "invalid command");
  return reply_and_read_command(client, reply);
}
