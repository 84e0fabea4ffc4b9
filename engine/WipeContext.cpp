#include "WipeContext.h"

#include "AlignedBuffer.h"
#include "ProcessClient.h"
#include "random/RandomFiller.h"

#include "DebugLog.h"

#include <limits>
#include <ostream>

namespace {

constexpr std::uint64_t alignment = transfer_alignment;

// The member `name` of `object` when it is a Number; null otherwise, so that the member is
// left for the reader that throws the proper exception for it.
const config::Value* number_member(const config::Value& object, const char* name) {
  if (object.type() != config::Value::Object)
    return nullptr;
  auto found = object.as_object().find(name);
  if (found == object.as_object().end() || found->second.type() != config::Value::Number)
    return nullptr;
  return &found->second;
}

// Whether chunks of `sectorsPerTime` sectors of the described device can be allocated and
// transferred, and the command's range addressed in bytes. Logs the reason when not.
bool can_serve(const config::Value& command, std::int64_t sectorsPerTime,
               const config::Value& description) {
  if (sectorsPerTime <= 0) {
    debug_log() << "WipeContext.cpp(40): sectorsPerTime " << sectorsPerTime
                << " is not a chunk size\n";
    return false;
  }
  const config::Value* size = number_member(description, "sectorSize");
  if (size == nullptr)
    return true; // opening the device throws for it
  if (size->as_number() <= 0) {
    debug_log() << "WipeContext.cpp(47): sectorSize " << size->as_number()
                << " is not a sector size\n";
    return false;
  }
  const auto chunk = static_cast<std::uint64_t>(sectorsPerTime);
  const auto sectorSize = static_cast<std::uint64_t>(size->as_number());
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t limit = DriverStd::transfer_limit(description);
  if (chunk > (most - (alignment - 1)) / sectorSize || chunk * sectorSize > limit) {
    debug_log() << "WipeContext.cpp(56): " << chunk << " sectors of " << sectorSize
                << " bytes are more than one transfer of the device can move\n";
    return false;
  }
  const config::Value* lba = number_member(command, "lba");
  const config::Value* sectors = number_member(command, "sectors");
  if (lba != nullptr && sectors != nullptr) {
    const auto first = static_cast<std::uint64_t>(lba->as_number());
    const auto count = static_cast<std::uint64_t>(sectors->as_number());
    const auto reach = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (count > most - first || first + count > reach / sectorSize) {
      debug_log() << "WipeContext.cpp(67): " << count << " sectors from " << first
                  << " lie beyond the reach of the device's byte offsets\n";
      return false;
    }
  }
  return true;
}

} // namespace

bool WipeContext::open_device(const config::Value& command, OpenMode mode) {
  const std::int64_t sectorsPerTime = command.get_number("sectorsPerTime");
  const config::Value& description = command.get("device");
  if (!can_serve(command, sectorsPerTime, description) || !device_.open(description, mode)) {
    if (device_.wrong_device())
      reply_wrong_device(*client_);
    else
      reply_init_failed(*client_);
    return false;
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(sectorsPerTime) * device_.sector_size();
  ring_.reset();
  readRing.reset();
  writeKept = readKept = ringKept = false;
  writeBuffer_ = allocate_aligned(writeAllocation, bytes, alignment);
  bufferBytes_ = bytes;
  if (mode != OpenMode::Write) {
    readBuffer_ = allocate_aligned(readAllocation, bytes, alignment);
  } else {
    readAllocation.reset();
    readBuffer_ = nullptr;
  }
  return true;
}

std::size_t WipeContext::transfers_in_flight() const {
  const std::uint64_t sectorSize = device_.sector_size();
  return device_.transfers_in_flight(sectorSize == 0 ? 0 : bufferBytes_ / sectorSize);
}

BufferRing& WipeContext::ring() {
  if (!ring_) {
    ring_ = std::make_unique<BufferRing>(bufferBytes_, transfers_in_flight() +
                                                           RandomFiller::ahead_for(bufferBytes_));
  }
  return *ring_;
}

void WipeContext::keep_ring() {
  if (ring_ && !ringKept)
    device_.keep_memory(ring_->block(), ring_->block_bytes());
  ringKept = true;
}

BufferRing& WipeContext::read_ring() {
  if (!readRing) {
    readRing =
        std::make_unique<BufferRing>(bufferBytes_, transfers_in_flight(), BufferRing::Pages::Large);
    device_.keep_memory(readRing->block(), readRing->block_bytes());
  }
  return *readRing;
}

void WipeContext::report_progress(std::uint64_t lba, std::uint64_t count, Report report) {
  processedSectors_ += count;
  if (report == Report::WhenDue && !timer_.period_elapsed())
    return;
  config::Value message(config::Value::Object);
  message.set("status", "update");
  if (report == Report::PassDone) {
    message.set("done", true);
  } else {
    message.set("lba", lba);
    message.set("sectors", count);
    message.set("processedSectors", processedSectors_);
  }
  write_value(*client_, message);
}
