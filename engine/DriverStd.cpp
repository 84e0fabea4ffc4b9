#include "DriverStd.h"

#include "DriverEmulator.h"
#include "FileStd.h"
#include "ReaderWin32.h"

#include "DebugLog.h"
#include "StreambufNull.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <ostream>

namespace {

bool is_raw_type(const std::string& type) {
  return type == "drive" || type == "partition" || type == "floppy";
}

// Sectors of one transfer that the raw device's bounce buffer holds.
constexpr std::uint64_t raw_transfer_sectors = 65536;

// Bytes kept in flight at most: enough to keep a device busy with transfers of the usual size,
// and several of the large ones (eight of 4 MiB), while transfers of tens of megabytes, which
// keep it busy by themselves, go one at a time.
constexpr std::uint64_t in_flight_bytes = 32u << 20;

// Opens the raw device at `path`, reporting the sector size it has. Returns null when it cannot
// be opened.
// Discards the debug log while it lives.
class SilentLog {
public:
  SilentLog() : saved(debug_log()) { set_debug_log(silent); }
  ~SilentLog() { set_debug_log(saved); }
  SilentLog(const SilentLog&) = delete;
  SilentLog& operator=(const SilentLog&) = delete;

private:
  std::ostream& saved;
  StreambufNull<> discard;
  std::ostream silent{&discard};
};

// With an `identity`, the device must be the disk it names (ReaderWin32::open); `wrongDevice`
// tells when it is not.
std::unique_ptr<dt::ReaderWriterStd>
open_raw_device(const std::string& path, OpenMode mode, dt::ReaderWin32::Buffering buffering,
                const std::string& identity, std::uint64_t expectedSectorSize,
                std::uint64_t& reportedSectorSize, bool& wrongDevice) {
  auto raw = std::make_unique<dt::ReaderWin32>();
  if (mode != OpenMode::Read) {
    // A disk opened for writing loses its drive letters and mounts at once. Learn its sector
    // size from a read-only open first, which touches no volume, so that a wipe refused for a
    // wrong sector size, or for the wrong disk, leaves the drive as it was.
    // The look is silent: the open that follows logs what the device says.
    bool mismatch = false;
    {
      SilentLog quiet;
      mismatch = raw->open(path, OpenMode::Read, buffering, identity) &&
                 raw->sector_size() != expectedSectorSize;
    }
    if (mismatch) {
      reportedSectorSize = raw->sector_size();
      return raw;
    }
    if (raw->wrong_device()) {
      // Said aloud this time, and the disk is not opened for writing at all.
      raw->open(path, OpenMode::Read, buffering, identity);
      wrongDevice = true;
      return nullptr;
    }
    raw = std::make_unique<dt::ReaderWin32>();
  }
  // The same check on the handle that is written through: the disk may have been exchanged
  // after the look.
  if (!raw->open(path, mode, buffering, identity)) {
    wrongDevice = raw->wrong_device();
    return nullptr;
  }
  reportedSectorSize = raw->sector_size();
  return raw;
}

} // namespace

std::uint64_t DriverStd::transfer_limit(const config::Value& description) {
  const std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();
  if (description.type() != config::Value::Object)
    return unlimited;
  const auto& members = description.as_object();
  auto emulated = members.find("use emulator");
  if (emulated != members.end() && emulated->second.type() == config::Value::Boolean &&
      emulated->second.as_boolean())
    return unlimited; // the emulator keeps no data and takes what the buffer holds
  auto type = members.find("type");
  if (type != members.end() && type->second.type() == config::Value::String &&
      is_raw_type(type->second.as_string())) {
    auto size = members.find("sectorSize");
    if (size == members.end() || size->second.type() != config::Value::Number ||
        size->second.as_number() <= 0)
      return unlimited;
    const auto sectorSize = static_cast<std::uint64_t>(size->second.as_number());
    return sectorSize > unlimited / raw_transfer_sectors ? unlimited
                                                         : sectorSize * raw_transfer_sectors;
  }
  return dt::FileStd::max_transfer;
}

bool DriverStd::open(const config::Value& description, OpenMode mode) {
  device.reset();
  wrongDevice = false;
  const std::int64_t size = description.get_number("sectorSize");
  sectorSize_ = static_cast<std::uint64_t>(size);
  bool useEmulator = false;
  if (description.has("use emulator"))
    useEmulator = description.get_boolean("use emulator");
  std::string identity;
  if (description.has("identity"))
    identity = description.get_string("identity");
  if (useEmulator && !identity.empty()) {
    debug_log() << "DriverStd.cpp(27): the emulated device cannot be told by an identity\n";
    return false;
  }
  if (useEmulator) {
    debug_log() << "DriverStd.cpp(30): "
                << "use emulator"
                << "\n";
    device = std::make_unique<DriverEmulator>(
        description.get_typed("emulator", config::Value::Object), sectorSize_);
    return true;
  }
  const std::string id = description.get_string("id");
  bool disableBuffering = false;
  if (description.has("disable buffering"))
    disableBuffering = description.get_boolean("disable buffering");
  const std::string type = description.get_string("type");
  // Every transfer is counted in whole sectors, which a size of 0 or less cannot give.
  if (size <= 0) {
    debug_log() << "DriverStd.cpp(45): sectorSize " << size << " is not a sector size\n";
    return false;
  }
  if (is_raw_type(type)) {
    const auto buffering = disableBuffering ? dt::ReaderWin32::Buffering::Disabled
                                            : dt::ReaderWin32::Buffering::Enabled;
    std::uint64_t reported = 0;
    auto raw = open_raw_device(id, mode, buffering, identity, sectorSize_, reported, wrongDevice);
    if (!raw) {
      debug_log() << "DriverStd.cpp(54)\n";
      return false;
    }
    if (reported != sectorSize_) {
      debug_log() << "DriverStd.cpp(59): " << reported << " " << sectorSize_ << "\n";
      return false;
    }
    device = std::move(raw);
    return true;
  }
  if (!identity.empty()) {
    debug_log() << "DriverStd.cpp(64): " << id << " is no device of the machine, which alone "
                << "can be told by its identity\n";
    return false;
  }
  auto file = std::make_unique<dt::FileStd>();
  if (disableBuffering)
    debug_log() << "DriverStd.cpp(71): "
                << "O_DIRECT"
                << "\n";
  if (!file->open(id, mode, 0)) {
    debug_log() << "DriverStd.cpp(79)\n";
    return false;
  }
  device = std::move(file);
  return true;
}

std::uint64_t DriverStd::read_sectors(std::uint64_t lba, std::uint64_t count, void* buffer) {
  if (!device)
    return 0;
  const std::int64_t n = device->read_some(lba * sectorSize_, buffer, count * sectorSize_);
  return n <= 0 ? 0 : static_cast<std::uint64_t>(n) / sectorSize_;
}

std::uint64_t DriverStd::write_sectors(std::uint64_t lba, std::uint64_t count, const void* data) {
  if (!device)
    return 0;
  const std::int64_t n = device->write_some(lba * sectorSize_, data, count * sectorSize_);
  return n <= 0 ? 0 : static_cast<std::uint64_t>(n) / sectorSize_;
}

std::size_t DriverStd::transfers_in_flight(std::uint64_t count) const {
  if (!device)
    return 1;
  const std::uint64_t bytes = std::max<std::uint64_t>(count * sectorSize_, 1);
  std::uint64_t most =
      std::min<std::uint64_t>(device->transfers_in_flight(), in_flight_bytes / bytes);
  if (const char* cap = std::getenv("CVW_TRANSFERS_IN_FLIGHT")) {
    const long long asked = std::atoll(cap);
    if (asked > 0)
      most = std::min<std::uint64_t>(most, static_cast<std::uint64_t>(asked));
  }
  return static_cast<std::size_t>(std::max<std::uint64_t>(most, 1));
}

void DriverStd::start_read_sectors(std::uint64_t lba, std::uint64_t count, void* buffer) {
  if (device)
    device->start_read_some(lba * sectorSize_, buffer, count * sectorSize_);
}

void DriverStd::start_write_sectors(std::uint64_t lba, std::uint64_t count, const void* data) {
  if (device)
    device->start_write_some(lba * sectorSize_, data, count * sectorSize_);
}

std::uint64_t DriverStd::finish_sectors() {
  if (!device)
    return 0;
  const std::int64_t n = device->finish_some();
  return n <= 0 ? 0 : static_cast<std::uint64_t>(n) / sectorSize_;
}

void DriverStd::keep_memory(void* start, std::uint64_t length) {
  if (device)
    device->keep_memory(start, length);
}

bool DriverStd::sync() {
  const bool ok = device && device->sync();
  if (!ok)
    debug_log() << "DriverStd.cpp(112)\n";
  return ok;
}

bool DriverStd::close() {
  const bool ok = device && device->close();
  if (!ok)
    debug_log() << "DriverStd.cpp(121)\n";
  return ok;
}
