#include "Blink.h"

#include "AlignedBuffer.h"
#include "DriverStd.h"
#include "ProcessClient.h"
#include "Transfer.h"

#include "DebugLog.h"
#include "Win32.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <ostream>

namespace {

// Unbuffered reads need buffers aligned to the sector size, at least to 512 bytes.
std::uint64_t alignment_for(std::uint64_t sectorSize) {
  const bool powerOfTwo = sectorSize != 0 && (sectorSize & (sectorSize - 1)) == 0;
  return powerOfTwo && sectorSize > 512 && sectorSize <= 65536 ? sectorSize : 512;
}

} // namespace

std::uint32_t blink_pause_ms(std::int64_t period) {
  const std::uint32_t micros = static_cast<std::uint32_t>(period) * 1000u;
  return micros >= 1 && micros <= 999999 ? micros / 1000 : 0;
}

void blink(ProcessClient& client, const config::Value& command) {
  DriverStd device;
  const config::Value& description = command.get("device");
  if (!device.open(description, OpenMode::Read)) {
    if (device.wrong_device())
      reply_wrong_device(client);
    else
      reply_init_failed(client);
    return;
  }
  const std::int64_t span = command.get_number("sectors");
  const std::int64_t burst = command.get_number("sectorsPerTime");
  const std::uint32_t pause = blink_pause_ms(command.get_number("period"));
  const std::uint64_t sectorSize = device.sector_size();
  const std::uint64_t alignment = alignment_for(sectorSize);
  const std::uint64_t limit =
      std::min<std::uint64_t>(std::numeric_limits<std::uint32_t>::max() - (alignment - 1),
                              DriverStd::transfer_limit(description));
  const auto sectors = static_cast<std::uint64_t>(span);
  const auto perTime = static_cast<std::uint64_t>(burst);
  const std::optional<std::uint64_t> bytes = transfer_bytes(perTime, sectorSize, limit);
  if (span <= 0 || burst <= 0 || !bytes || !addressable(0, sectors, sectorSize)) {
    debug_log() << "Blink.cpp(52): a blink of " << span << " sectors in bursts of " << burst
                << " cannot be read\n";
    reply_init_failed(client);
    return;
  }
  std::unique_ptr<unsigned char[]> allocation;
  unsigned char* buffer = allocate_aligned(allocation, *bytes, alignment);
  std::uint64_t lba = 0;
  std::uint64_t remaining = sectors;
  std::uint64_t count = perTime;
  for (;;) {
    if (remaining == 0) {
      lba = 0;
      remaining = sectors;
      count = perTime;
    }
    check_pause(client);
    count = std::min(count, remaining);
    if (device.read_sectors(lba, count, buffer) != count) {
      config::Value reply(config::Value::Object);
      reply.set("status", "error");
      reply.set("message", "read failed");
      reply.set("lba", lba);
      reply.set("sectors", count);
      reply_and_read_command(client, reply);
    }
    config::Value update(config::Value::Object);
    update.set("status", "update");
    update.set("lba", lba);
    update.set("sectors", count);
    write_value(client, update);
    if (pause != 0)
      Sleep(pause);
    lba += count;
    remaining -= count;
  }
}
