#include "ReaderWin32.h"

#include "DebugLog.h"
#include "DeviceMapping.h"
#include "Strings.h"
#include "Utils.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace dt {

namespace {

using Direction = ReaderWin32::Direction;

// Transfers the raw device keeps in flight at once: transfers of the usual 128 KiB keep 8 MiB in
// flight, and wait for a quarter of them at a time while the device works on the rest.
constexpr std::size_t overlapped_slots = 64;

// The record of a transfer at `offset`.
OVERLAPPED record_at(std::uint64_t offset) {
  OVERLAPPED record;
  std::memset(&record, 0, sizeof record);
  record.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  record.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return record;
}

// Starts a transfer of `length` bytes at the offset of `record`. False, with the last error
// set, when it was refused at once.
bool start_at(HANDLE handle, Direction direction, OVERLAPPED& record, void* buffer,
              std::uint64_t length) {
  const BOOL ended = direction == Direction::Write
                         ? WriteFile(handle, buffer, static_cast<DWORD>(length), nullptr, &record)
                         : ReadFile(handle, buffer, static_cast<DWORD>(length), nullptr, &record);
  return ended || GetLastError() == ERROR_IO_PENDING;
}

// The debug-log line of a failed read or write of `length` bytes at `offset` that moved
// `count`, with the text of the last error.
void log_failed(Direction direction, std::uint64_t offset, std::uint64_t length, DWORD count) {
  const std::string error = last_error_text();
  debug_log() << (direction == Direction::Write ? "ReaderWin32.cpp(349): "
                                                : "ReaderWin32.cpp(333): ")
              << offset << " " << length << " " << count << " " << error << "\n";
}

// The count the transfer of `record` moved, waited for; 0, with the debug-log line of a failed
// read or write, when it failed.
std::uint64_t count_of(HANDLE handle, Direction direction, OVERLAPPED& record,
                       std::uint64_t length) {
  DWORD count = 0;
  if (GetOverlappedResult(handle, &record, &count, TRUE))
    return count;
  log_failed(direction, (static_cast<std::uint64_t>(record.OffsetHigh) << 32) | record.Offset,
             length, count);
  return 0;
}

// Moves `length` bytes at `offset` between the device and `buffer`, waiting for the end.
// Returns the count, fewer at the end of the medium for a read; 0, with a debug-log line, on
// failure.
std::uint64_t transfer_at(HANDLE handle, Direction direction, std::uint64_t offset, void* buffer,
                          std::uint64_t length) {
  OVERLAPPED record = record_at(offset);
  if (!start_at(handle, direction, record, buffer, length)) {
    log_failed(direction, offset, length, 0);
    return 0;
  }
  return count_of(handle, direction, record, length);
}

std::uint64_t read_at(HANDLE handle, std::uint64_t offset, void* buffer, std::uint64_t length) {
  return transfer_at(handle, Direction::Read, offset, buffer, length);
}

// A device control without input or output; false with the last error set when it fails.
bool control(HANDLE handle, DWORD code) {
  DWORD returned = 0;
  return DeviceIoControl(handle, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}

// The names of the volumes that lie on the disk of `disk` (IOCTL_DISK_VOLUME_NAMES), each with
// its trailing backslash. False with the last error set when the device cannot tell them.
bool disk_volume_names(HANDLE disk, std::vector<std::string>& names) {
  std::string list(4096, '\0');
  DWORD returned = 0;
  BOOL told = DeviceIoControl(disk, IOCTL_DISK_VOLUME_NAMES, nullptr, 0, list.data(),
                              static_cast<DWORD>(list.size()), &returned, nullptr);
  if (!told && GetLastError() == ERROR_MORE_DATA && returned > list.size()) {
    list.assign(returned, '\0');
    told = DeviceIoControl(disk, IOCTL_DISK_VOLUME_NAMES, nullptr, 0, list.data(),
                           static_cast<DWORD>(list.size()), &returned, nullptr);
  }
  if (!told)
    return false;
  names.clear();
  for (std::size_t at = 0; at < returned && list[at] != '\0';) {
    const std::size_t end = list.find('\0', at);
    names.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return true;
}

// The names of the volume walk, each with its trailing backslash; false, with a debug-log line,
// when the walk cannot start.
bool walk_volume_names(std::vector<std::string>& names) {
  char name[MAX_PATH];
  HANDLE find = FindFirstVolumeA(name, MAX_PATH);
  if (find == INVALID_HANDLE_VALUE) {
    debug_log() << "ReaderWin32.cpp(360): "
                << "FindFirstVolume failed: " << last_error_text() << "\n";
    return false;
  }
  do
    names.push_back(name);
  while (FindNextVolumeA(find, name, MAX_PATH));
  FindVolumeClose(find);
  return true;
}

} // namespace

ReaderWin32::~ReaderWin32() { release(); }

bool ReaderWin32::open(const std::string& path, OpenMode mode, Buffering buffering,
                       const std::string& identity) {
  wrongDevice = false;
  const bool readOnly = mode == OpenMode::Read;
  // Overlapped, so that transfers can be kept in flight; a transfer that is waited for at once
  // is an ordinary one.
  DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED;
  if (buffering == Buffering::Disabled) {
    debug_log() << "ReaderWin32.cpp(53): " << path
                << ": FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH"
                << "\n";
    flags |= FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING;
  }
  const DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE opened = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    debug_log() << "ReaderWin32.cpp(65): " << path << " " << last_error_text() << "\n";
    return false;
  }
  // The handle's own device, before a volume of it is touched: the path may have come to lead
  // to another disk since the one asked for was chosen.
  if (!identity.empty()) {
    std::string found;
    if (!get_device_identity(opened, found) || found != identity) {
      debug_log() << "ReaderWin32.cpp(67): " << path << " is "
                  << (found.empty() ? std::string("a device that does not tell which it is")
                                    : found)
                  << ", not " << identity << "\n";
      CloseHandle(opened);
      wrongDevice = true;
      return false;
    }
  }
  std::uint64_t bytes = 0;
  std::uint64_t reported = 0;
  if (!get_disk_size(opened, bytes, reported)) {
    debug_log() << "ReaderWin32.cpp(71): " << path << "\n";
    CloseHandle(opened);
    return false;
  }
  // In 64 bits: a sector size of 64 KiB or more no longer wraps the buffer size to nothing.
  const std::uint64_t newBufferSize = reported * max_transfer_sectors;
  void* newBuffer =
      VirtualAlloc(nullptr, static_cast<SIZE_T>(newBufferSize), MEM_COMMIT, PAGE_READWRITE);
  if (newBuffer == nullptr) {
    debug_log() << "ReaderWin32.cpp(79)\n";
    CloseHandle(opened);
    return false;
  }
  release();
  path_ = path;
  kind_ = Kind::Other;
  STORAGE_DEVICE_NUMBER number;
  DWORD returned = 0;
  if (!DeviceIoControl(opened, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                       &returned, nullptr)) {
    debug_log() << "ReaderWin32.cpp(98): " << path << " " << last_error_text() << "\n";
  } else {
    debug_log() << "ReaderWin32.cpp(102): "
                << "DeviceType: " << number.DeviceType
                << "\n  DeviceNumber: " << number.DeviceNumber
                << "\n  PartitionNumber: " << number.PartitionNumber << "\n";
    if (number.DeviceType == FILE_DEVICE_DISK && number.PartitionNumber == 0) {
      kind_ = Kind::Disk;
      if (!readOnly)
        lock_volumes(opened, number.DeviceNumber);
    } else if (number.DeviceType == FILE_DEVICE_DISK) {
      kind_ = Kind::Partition;
      if (!control(opened, FSCTL_ALLOW_EXTENDED_DASD_IO))
        debug_log() << "ReaderWin32.cpp(129): "
                    << "FSCTL_ALLOW_EXTENDED_DASD_IO " << path << " " << last_error_text() << "\n";
      if (!readOnly && !dismount_volume(opened))
        debug_log() << "ReaderWin32.cpp(138): " << path << "\n";
    }
  }
  handle_ = opened;
  buffer = static_cast<unsigned char*>(newBuffer);
  set_size(bytes);
  sectorSize_ = reported;
  bufferSize = newBufferSize;
  cacheLength = 0;
  cacheOffset = 0;
  slots.assign(overlapped_slots, Slot());
  oldest = 0;
  used = 0;
  return true;
}

void ReaderWin32::lock_volumes(HANDLE disk, DWORD diskNumber) {
  // The disk's own volumes, found without asking the machine's other disks (a device that does
  // not tell them has every volume of the machine walked, as the extents single out the disk's
  // all the same).
  std::vector<std::string> names;
  if (!disk_volume_names(disk, names)) {
    debug_log() << "ReaderWin32.cpp(362): IOCTL_DISK_VOLUME_NAMES failed: " << last_error_text()
                << "\n";
    names.clear();
    if (!walk_volume_names(names))
      return;
  }
  for (const std::string& listed : names) {
    if (listed.size() <= 5 || listed.rfind("\\\\?\\", 0) != 0 || listed.back() != '\\') {
      debug_log() << "ReaderWin32.cpp(369): "
                  << "invalid volumePath: " << listed << "\n";
      continue;
    }
    const std::string volumePath = listed.substr(0, listed.size() - 1);
    HANDLE volume = CreateFileA(volumePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
      debug_log() << "ReaderWin32.cpp(382): " << volumePath << " " << last_error_text() << "\n";
      continue;
    }
    // Room for the count and one extent: a volume over several disks does not fit, and fails.
    VOLUME_DISK_EXTENTS extents;
    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                         sizeof extents, &returned, nullptr)) {
      debug_log() << "ReaderWin32.cpp(395): "
                  << "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS failed: " << volumePath << " "
                  << last_error_text() << "\n";
      CloseHandle(volume);
      continue;
    }
    if (extents.NumberOfDiskExtents == 0 || extents.Extents[0].DiskNumber != diskNumber) {
      CloseHandle(volume);
      continue;
    }
    const std::string letters = DeviceMapping().letters(volume);
    if (letters.size() == 1) {
      const std::string mountPoint = std::string("\\\\.\\") + letters + ":\\";
      debug_log() << "ReaderWin32.cpp(417): "
                  << "delete volume mount point: " << mountPoint << "\n";
      if (!DeleteVolumeMountPointA(mountPoint.c_str()))
        debug_log() << "ReaderWin32.cpp(419): " << last_error_text() << "\n";
    }
    debug_log() << "ReaderWin32.cpp(422): "
                << "lock volume: " << volumePath << "\n";
    if (!control(volume, FSCTL_LOCK_VOLUME))
      debug_log() << "ReaderWin32.cpp(432): " << last_error_text() << "\n";
    debug_log() << "ReaderWin32.cpp(434): "
                << "dismount volume: " << volumePath << "\n";
    if (!control(volume, FSCTL_DISMOUNT_VOLUME))
      debug_log() << "ReaderWin32.cpp(444): " << last_error_text() << "\n";
    lockedVolumes.push_back(volume);
  }
}

void ReaderWin32::release() {
  if (handle_ != INVALID_HANDLE_VALUE)
    close();
  if (buffer != nullptr) {
    VirtualFree(buffer, 0, MEM_RELEASE);
    buffer = nullptr;
  }
  for (HANDLE volume : lockedVolumes)
    if (!CloseHandle(volume))
      debug_log() << "ReaderWin32.cpp(456): " << last_error_text() << "\n";
  lockedVolumes.clear();
}

bool ReaderWin32::close() {
  // The layer waits for the transfers in flight; their results are of no use any more.
  used = 0;
  if (!CloseHandle(handle_)) {
    debug_log() << "ReaderWin32.cpp(262): " << last_error_text() << "\n";
    return false;
  }
  handle_ = INVALID_HANDLE_VALUE;
  return true;
}

std::uint64_t ReaderWin32::checked_length(std::uint64_t offset, std::uint64_t length, int misfit,
                                          int pastEnd) const {
  if (sectorSize_ == 0 || offset % sectorSize_ != 0 || length % sectorSize_ != 0 ||
      length > bufferSize) {
    debug_log() << "ReaderWin32.cpp(" << misfit << "): " << offset << " " << length << " "
                << sectorSize_ << " " << bufferSize << "\n";
    return 0;
  }
  if (offset > size() || length > size() - offset) {
    if (offset >= size()) {
      debug_log() << "ReaderWin32.cpp(" << pastEnd << "): " << offset << "\n";
      return 0;
    }
    length = size() - offset;
  }
  return length;
}

bool ReaderWin32::aligned(const void* buffer) const {
  return sectorSize_ != 0 && reinterpret_cast<std::uintptr_t>(buffer) % sectorSize_ == 0;
}

std::int64_t ReaderWin32::read_some(std::uint64_t offset, void* out, std::uint64_t length) {
  length = checked_length(offset, length, 207, 212);
  if (length == 0)
    return 0;
  cacheLength = 0; // the buffer may be overwritten
  if (aligned(out))
    return static_cast<std::int64_t>(read_at(handle_, offset, out, length));
  const std::uint64_t n = read_at(handle_, offset, buffer, length);
  std::memcpy(out, buffer, n);
  return static_cast<std::int64_t>(n);
}

std::int64_t ReaderWin32::write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
  length = checked_length(offset, length, 231, 236);
  if (length == 0)
    return 0;
  cacheLength = 0;
  // Straight from the caller's buffer when it meets the alignment of uncached transfers, else
  // from the bounce buffer, which does.
  void* from = const_cast<void*>(data);
  if (!aligned(data)) {
    std::memcpy(buffer, data, length);
    from = buffer;
  }
  return static_cast<std::int64_t>(transfer_at(handle_, Direction::Write, offset, from, length));
}

ReaderWin32::Slot& ReaderWin32::next_slot() {
  if (used == slots.size())
    throw std::runtime_error("ReaderWin32.cpp(300)");
  Slot& slot = slots[(oldest + used) % slots.size()];
  ++used;
  slot.inFlight = false;
  slot.result = 0;
  return slot;
}

void ReaderWin32::start_read_some(std::uint64_t offset, void* out, std::uint64_t length) {
  start_some(Direction::Read, offset, out, length);
}

void ReaderWin32::start_write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
  start_some(Direction::Write, offset, const_cast<void*>(data), length);
}

void ReaderWin32::start_some(Direction direction, std::uint64_t offset, void* data,
                             std::uint64_t length) {
  const bool write = direction == Direction::Write;
  Slot& slot = next_slot();
  if (!aligned(data)) {
    settle();
    slot.result = write ? write_some(offset, data, length) : read_some(offset, data, length);
    return;
  }
  length =
      write ? checked_length(offset, length, 231, 236) : checked_length(offset, length, 207, 212);
  if (length == 0)
    return;
  cacheLength = 0;
  slot.record = record_at(offset);
  slot.direction = direction;
  slot.length = length;
  if (start_at(handle_, direction, slot.record, data, length))
    slot.inFlight = true;
  else
    log_failed(direction, offset, length, 0);
}

std::int64_t ReaderWin32::outcome(Slot& slot) {
  if (slot.inFlight) {
    slot.result =
        static_cast<std::int64_t>(count_of(handle_, slot.direction, slot.record, slot.length));
    slot.inFlight = false;
  }
  return slot.result;
}

void ReaderWin32::settle() {
  for (std::size_t i = 0; i < used; ++i)
    outcome(slots[(oldest + i) % slots.size()]);
}

std::int64_t ReaderWin32::finish_some() {
  if (used == 0)
    return 0;
  const std::int64_t result = outcome(slots[oldest]);
  oldest = (oldest + 1) % slots.size();
  --used;
  return result;
}

void ReaderWin32::keep_memory(void* start, std::uint64_t length) {
  const bool fits = length > 0 && length <= 0xFFFFFFFFu; // what one range can name
  if (!fits ||
      !SetFileIoOverlappedRange(handle_, static_cast<PUCHAR>(start), static_cast<ULONG>(length)))
    debug_log() << "ReaderWin32.cpp(318): " << path_ << " " << length << " "
                << (fits ? last_error_text() : std::string("size")) << "\n";
}

bool ReaderWin32::write_exact(std::uint64_t offset, const void* data, std::uint64_t length) {
  if (write_some(offset, data, length) == static_cast<std::int64_t>(length))
    return true;
  debug_log() << "ReaderWin32.cpp(193)\n";
  return false;
}

bool ReaderWin32::sync() {
  if (!FlushFileBuffers(handle_)) {
    debug_log() << "ReaderWin32.cpp(275): " << path_ << " " << last_error_text() << "\n";
    return false;
  }
  return true;
}

std::uint64_t ReaderWin32::from_cache(std::uint64_t offset, unsigned char* out,
                                      std::uint64_t length) const {
  if (offset < cacheOffset || offset - cacheOffset >= cacheLength)
    return 0;
  const std::uint64_t n = std::min(length, cacheLength - (offset - cacheOffset));
  std::memcpy(out, buffer + (offset - cacheOffset), n);
  return n;
}

bool ReaderWin32::fill_cache(std::uint64_t offset) {
  const std::uint64_t start = offset - offset % sectorSize_;
  std::uint64_t want = bufferSize;
  if (start >= size()) {
    debug_log() << "ReaderWin32.cpp(296): " << start << " " << size() << "\n";
    return false;
  }
  want = std::min(want, size() - start);
  cacheLength = 0;
  cacheLength = read_at(handle_, start, buffer, want);
  cacheOffset = start;
  return true;
}

bool ReaderWin32::read_exact(std::uint64_t offset, void* out, std::uint64_t length) {
  if (sectorSize_ == 0) {
    debug_log() << "ReaderWin32.cpp(166): " << offset << " " << length << " no device\n";
    return false;
  }
  auto* bytes = static_cast<unsigned char*>(out);
  std::uint64_t n = from_cache(offset, bytes, length);
  offset += n;
  bytes += n;
  length -= n;
  while (length != 0) {
    if (!fill_cache(offset)) {
      debug_log() << "ReaderWin32.cpp(174): " << offset << "\n";
      return false;
    }
    n = from_cache(offset, bytes, length);
    if (n == 0) {
      debug_log() << "ReaderWin32.cpp(179): " << offset << " " << length << "\n";
      return false;
    }
    offset += n;
    bytes += n;
    length -= n;
  }
  return true;
}

} // namespace dt
