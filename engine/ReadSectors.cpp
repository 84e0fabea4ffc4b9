#include "ReadSectors.h"

#include "DriverStd.h"
#include "Interactive.h"
#include "ProcessClient.h"
#include "Transfer.h"

#include "DebugLog.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>

void read_sectors(ProcessClient& client, config::Value& command) {
  DriverStd device;
  const config::Value description = command.get("device");
  if (!device.open(description, OpenMode::Read)) {
    if (device.wrong_device())
      reply_wrong_device(client);
    else
      reply_init_failed(client);
    return;
  }
  const std::uint64_t sectorSize = device.sector_size();
  // One read is one transfer of the device, and its bytes are counted in 32 bits.
  const std::uint64_t limit = std::min<std::uint64_t>(std::numeric_limits<std::uint32_t>::max(),
                                                      DriverStd::transfer_limit(description));
  std::unique_ptr<unsigned char[]> buffer;
  std::uint64_t capacity = 0;
  for (;;) {
    if (command.get_string("command") != "read sectors") {
      reply_invalid_command(client);
    } else {
      const auto lba = static_cast<std::uint64_t>(command.get_number("lba"));
      const auto sectors = static_cast<std::uint64_t>(command.get_number("sectors"));
      const std::optional<std::uint64_t> bytes = transfer_bytes(sectors, sectorSize, limit);
      const bool fits = bytes && addressable(lba, sectors, sectorSize);
      if (!fits)
        debug_log() << "ReadSectors.cpp(55): " << sectors << " sectors from " << lba
                    << " are more than one read can take\n";
      std::uint64_t read = 0;
      if (fits && sectors > 0) {
        if (*bytes > capacity) {
          buffer.reset();
          buffer.reset(new unsigned char[*bytes]);
          capacity = *bytes;
        }
        read = device.read_sectors(lba, sectors, buffer.get());
      }
      config::Value reply(config::Value::Object);
      if (!fits || read != sectors) {
        reply.set("status", "error");
        reply.set("message", "read failed");
      } else {
        reply.set("status", "done");
        reply.set("data", sectors == 0
                              ? std::string()
                              : std::string(reinterpret_cast<const char*>(buffer.get()), *bytes));
      }
      reply.set("lba", lba);
      reply.set("sectors", sectors);
      reply_and_read_command(client, reply);
    }
    command = reply_ready_and_read_command(client);
  }
}
