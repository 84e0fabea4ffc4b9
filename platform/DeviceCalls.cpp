// The Win32 device and volume calls over the machine of this process.
//
// Implements just enough of kernel32's device interface for this project: the checks of
// arguments, access rights and alignment, each handle's position, and the records of the
// device controls are made here, alike for both machines; the machines answer the facts and
// move the bytes.
#include "DevicePath.h"
#include "Handles.h"
#include "Machine.h"

#include <atomic>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

namespace platform {

namespace {

class OpenDevice : public HandleObject {
public:
  OpenDevice(std::shared_ptr<Machine> machine, std::unique_ptr<Device> device, DWORD access,
             DWORD flags)
      : machine(std::move(machine)), device(std::move(device)), access(access), flags(flags) {}

  // Waits for the transfers in flight, whose records learn their outcome, then closes.
  bool close() override {
    std::map<LPOVERLAPPED, std::unique_ptr<Transfer>> left;
    {
      std::lock_guard<std::mutex> lock(mutex);
      left.swap(inFlight);
    }
    for (auto& [overlapped, transfer] : left) {
      device->wait_for(*transfer);
      record_outcome(*overlapped, *transfer);
    }
    return device->close();
  }

  // Enters the outcome of `transfer` in its record.
  static void record_outcome(OVERLAPPED& overlapped, const Transfer& transfer) {
    overlapped.Internal = transfer.ok ? ERROR_SUCCESS : transfer.error;
    overlapped.InternalHigh = transfer.done;
  }

  std::shared_ptr<Machine> machine; // the machine outlives its devices
  std::unique_ptr<Device> device;
  DWORD access;
  DWORD flags;
  std::int64_t position = 0;
  // The overlapped transfers that GetOverlappedResult has not yet seen end, by record.
  std::mutex mutex;
  std::map<LPOVERLAPPED, std::unique_ptr<Transfer>> inFlight;
};

// What OVERLAPPED.Internal holds while the transfer of the record is in flight.
constexpr ULONG_PTR status_pending = 0x103;

class VolumeWalk : public HandleObject {
public:
  std::vector<std::string> names;
  std::size_t next = 0;
};

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// Fails with the machine's error for `call` on the device, if it is set to fail.
bool failing(const Device& device, const char* call) {
  const DWORD code = device.failure(call);
  if (code == 0)
    return false;
  SetLastError(code);
  return true;
}

bool copy_name(const std::string& name, LPSTR buffer, DWORD length) {
  if (buffer == nullptr || name.size() + 1 > length) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return true;
}

// The byte offset of a record.
std::uint64_t offset_of(const OVERLAPPED& overlapped) {
  return (static_cast<std::uint64_t>(overlapped.OffsetHigh) << 32) | overlapped.Offset;
}

// A transfer of `length` bytes at `at` must be whole sectors, and with FILE_FLAG_NO_BUFFERING
// so must the buffer's address.
bool aligned(const OpenDevice& open, std::uint64_t at, const void* buffer, DWORD length) {
  const std::uint32_t sector = open.device->facts().sectorSize;
  if (sector == 0)
    return true;
  if (at % sector != 0 || length % sector != 0)
    return false;
  if ((open.flags & FILE_FLAG_NO_BUFFERING) != 0 &&
      reinterpret_cast<std::uintptr_t>(buffer) % sector != 0)
    return false;
  return true;
}

// The checks that come before a transfer of `length` bytes through `file`: the handle, its
// `access` right, the record an overlapped handle needs (hEvent unset, not in flight), the
// alignment and the machine's failure switch for `call`. Returns the open device, with `at`
// set to where the transfer starts, or null with the last error set.
std::shared_ptr<OpenDevice> start_transfer(HANDLE file, const void* buffer, DWORD length,
                                           LPDWORD count, LPOVERLAPPED overlapped, DWORD access,
                                           const char* call, std::uint64_t& at) {
  if (count != nullptr)
    *count = 0;
  std::shared_ptr<OpenDevice> open = find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return nullptr;
  if ((open->access & access) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const bool overlappedHandle = (open->flags & FILE_FLAG_OVERLAPPED) != 0;
  if ((overlappedHandle && overlapped == nullptr) ||
      (overlapped != nullptr && overlapped->hEvent != nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (overlappedHandle) {
    std::lock_guard<std::mutex> lock(open->mutex);
    if (open->inFlight.count(overlapped) != 0) {
      SetLastError(ERROR_INVALID_PARAMETER); // the record is still in use
      return nullptr;
    }
  }
  at = overlapped != nullptr ? offset_of(*overlapped) : static_cast<std::uint64_t>(open->position);
  if ((buffer == nullptr && length != 0) || !aligned(*open, at, buffer, length)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (failing(*open->device, call))
    return nullptr;
  return open;
}

// Ends a transfer that has ended already: moves the position on by what was moved (without a
// record), fills in the record, and reports the count.
BOOL finish_transfer(OpenDevice& open, bool ok, std::size_t done, LPDWORD count,
                     LPOVERLAPPED overlapped) {
  if (overlapped == nullptr) {
    open.position += static_cast<std::int64_t>(done);
  } else {
    overlapped->Internal = ok ? ERROR_SUCCESS : GetLastError();
    overlapped->InternalHigh = done;
  }
  if (count != nullptr)
    *count = static_cast<DWORD>(done);
  return ok ? TRUE : FALSE;
}

// Runs the transfer of `length` bytes at `at`: at once on a handle without FILE_FLAG_OVERLAPPED,
// else while the caller goes on (FALSE with ERROR_IO_PENDING).
BOOL run_transfer(OpenDevice& open, bool write, std::uint64_t at, void* buffer, std::size_t length,
                  LPDWORD count, LPOVERLAPPED overlapped) {
  if ((open.flags & FILE_FLAG_OVERLAPPED) == 0) {
    std::size_t done = 0;
    const bool ok = write ? open.device->write(at, buffer, length, done)
                          : open.device->read(at, buffer, length, done);
    return finish_transfer(open, ok, done, count, overlapped);
  }
  auto transfer = std::make_unique<Transfer>();
  transfer->write = write;
  transfer->offset = at;
  transfer->buffer = buffer;
  transfer->length = length;
  overlapped->Internal = status_pending;
  overlapped->InternalHigh = 0;
  open.device->start(*transfer);
  {
    std::lock_guard<std::mutex> lock(open.mutex);
    open.inFlight[overlapped] = std::move(transfer);
  }
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

bool move_pointer(OpenDevice& open, std::int64_t distance, DWORD method, std::int64_t& moved) {
  std::int64_t base = 0;
  switch (method) {
  case FILE_BEGIN: base = 0; break;
  case FILE_CURRENT: base = open.position; break;
  case FILE_END: base = static_cast<std::int64_t>(open.device->facts().size); break;
  default: SetLastError(ERROR_INVALID_PARAMETER); return false;
  }
  if (distance > 0 && base > std::numeric_limits<std::int64_t>::max() - distance) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const std::int64_t target = base + distance;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  moved = target;
  return true;
}

template <class Record>
BOOL give_record(const Record& record, LPVOID out, DWORD outSize, LPDWORD returned) {
  if (out == nullptr || outSize < sizeof record)
    return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(out, &record, sizeof record);
  if (returned != nullptr)
    *returned = sizeof record;
  return TRUE;
}

BOOL disk_extents(const DeviceFacts& facts, LPVOID out, DWORD outSize, LPDWORD returned) {
  constexpr DWORD header = offsetof(VOLUME_DISK_EXTENTS, Extents);
  if (out == nullptr || outSize < header)
    return fail(ERROR_INSUFFICIENT_BUFFER);
  const DWORD count = static_cast<DWORD>(facts.extents.size());
  std::memcpy(out, &count, sizeof count);
  DWORD used = header;
  for (const Extent& piece : facts.extents) {
    if (outSize - used < sizeof(DISK_EXTENT))
      break;
    DISK_EXTENT extent;
    std::memset(&extent, 0, sizeof extent);
    extent.DiskNumber = piece.disk;
    extent.StartingOffset.QuadPart = static_cast<LONGLONG>(piece.offset);
    extent.ExtentLength.QuadPart = static_cast<LONGLONG>(piece.length);
    std::memcpy(static_cast<BYTE*>(out) + used, &extent, sizeof extent);
    used += sizeof extent;
  }
  if (returned != nullptr)
    *returned = used;
  if (used < header + count * sizeof(DISK_EXTENT))
    return fail(ERROR_MORE_DATA);
  return TRUE;
}

BOOL storage_property(const DeviceFacts& facts, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                      LPDWORD returned) {
  STORAGE_PROPERTY_QUERY query;
  constexpr DWORD needed = offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters);
  if (in == nullptr || inSize < needed)
    return fail(ERROR_INVALID_PARAMETER);
  std::memcpy(&query, in, needed);
  if (query.PropertyId != StorageDeviceProperty)
    return fail(ERROR_NOT_SUPPORTED);
  if (query.QueryType == PropertyExistsQuery)
    return TRUE;
  if (query.QueryType != PropertyStandardQuery)
    return fail(ERROR_NOT_SUPPORTED);
  // Like Windows, the output may be smaller than the descriptor: it then receives the first
  // bytes, of which Size tells how many there are in all.
  if (out == nullptr || outSize < 8)
    return fail(ERROR_INSUFFICIENT_BUFFER);
  const std::size_t count = std::min<std::size_t>(outSize, facts.descriptor.size());
  std::memcpy(out, facts.descriptor.data(), count);
  if (returned != nullptr)
    *returned = static_cast<DWORD>(count);
  return TRUE;
}

const char* control_name(DWORD code) {
  switch (code) {
  case IOCTL_DISK_GET_DRIVE_GEOMETRY: return "IOCTL_DISK_GET_DRIVE_GEOMETRY";
  case IOCTL_DISK_GET_PARTITION_INFO: return "IOCTL_DISK_GET_PARTITION_INFO";
  case IOCTL_DISK_GET_PARTITION_INFO_EX: return "IOCTL_DISK_GET_PARTITION_INFO_EX";
  case IOCTL_STORAGE_GET_DEVICE_NUMBER: return "IOCTL_STORAGE_GET_DEVICE_NUMBER";
  case IOCTL_STORAGE_GET_DEVICE_NUMBER_EX: return "IOCTL_STORAGE_GET_DEVICE_NUMBER_EX";
  case IOCTL_DISK_STAND_INS: return "IOCTL_DISK_STAND_INS";
  case IOCTL_DISK_VOLUME_NAMES: return "IOCTL_DISK_VOLUME_NAMES";
  case IOCTL_STORAGE_QUERY_PROPERTY: return "IOCTL_STORAGE_QUERY_PROPERTY";
  case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: return "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS";
  case FSCTL_LOCK_VOLUME: return "FSCTL_LOCK_VOLUME";
  case FSCTL_DISMOUNT_VOLUME: return "FSCTL_DISMOUNT_VOLUME";
  case FSCTL_ALLOW_EXTENDED_DASD_IO: return "FSCTL_ALLOW_EXTENDED_DASD_IO";
  default: return nullptr;
  }
}

// The GUID that names the device of `facts`: the first number in the first eight bytes, the
// second in the last eight.
GUID device_guid(const DeviceFacts& facts) {
  GUID guid;
  const std::uint64_t first = facts.identity[0];
  guid.Data1 = static_cast<DWORD>(first & 0xFFFFFFFFu);
  guid.Data2 = static_cast<WORD>((first >> 32) & 0xFFFFu);
  guid.Data3 = static_cast<WORD>(first >> 48);
  for (int i = 0; i < 8; ++i)
    guid.Data4[i] = static_cast<BYTE>(facts.identity[1] >> (56 - 8 * i));
  return guid;
}

// Copies `text` into `field` of `size` characters with its NUL; a text that does not fit keeps
// its end, after "...".
void copy_kept_end(const std::string& text, char* field, std::size_t size) {
  std::string kept = text;
  if (kept.size() + 1 > size)
    kept = "..." + text.substr(text.size() - (size - 4));
  std::memcpy(field, kept.c_str(), kept.size() + 1);
}

BOOL stand_ins(const Device& device, LPVOID out, DWORD outSize, LPDWORD returned) {
  const StandIns found = device.stand_ins();
  DISK_STAND_INS record;
  std::memset(&record, 0, sizeof record);
  record.Model.Kind = found.model.kind;
  copy_kept_end(found.model.text, record.Model.Text, sizeof record.Model.Text);
  record.Serial.Kind = found.serial.kind;
  copy_kept_end(found.serial.text, record.Serial.Text, sizeof record.Serial.Text);
  return give_record(record, out, outSize, returned);
}

// Stores the texts of `items` as a list ended by a second NUL (two NULs for no text). The count
// of characters is what the list takes; false when it does not fit `length`.
bool copy_list(const std::vector<std::string>& items, LPSTR buffer, DWORD length, DWORD& count) {
  std::string list;
  for (const std::string& item : items) {
    list += item;
    list += '\0';
  }
  list += items.empty() ? std::string(2, '\0') : std::string(1, '\0');
  count = static_cast<DWORD>(list.size());
  if (buffer == nullptr || list.size() > length)
    return false;
  std::memcpy(buffer, list.data(), list.size());
  return true;
}

std::atomic<UINT> error_mode{0};

} // namespace

} // namespace platform

using platform::OpenDevice;
using platform::VolumeWalk;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  constexpr DWORD known_flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH |
                                FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                                FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_SEQUENTIAL_SCAN;
  if (fileName == nullptr ||
      (shareMode & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (securityAttributes != nullptr || templateFile != nullptr ||
      creationDisposition != OPEN_EXISTING ||
      (desiredAccess & ~(GENERIC_READ | GENERIC_WRITE)) != 0 ||
      (flagsAndAttributes & ~known_flags) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<platform::Machine> machine = platform::current_machine();
  const DWORD flags = flagsAndAttributes &
                      (FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED);
  std::unique_ptr<platform::Device> device = machine->open(fileName, desiredAccess, flags);
  if (device == nullptr)
    return INVALID_HANDLE_VALUE;
  return platform::register_handle(
      std::make_shared<OpenDevice>(machine, std::move(device), desiredAccess, flags));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
  std::uint64_t at = 0;
  std::shared_ptr<OpenDevice> open = platform::start_transfer(
      file, buffer, bytesToRead, bytesRead, overlapped, GENERIC_READ, "ReadFile", at);
  if (open == nullptr)
    return FALSE;
  const std::uint64_t size = open->device->facts().size;
  if (at >= size || bytesToRead == 0)
    return platform::finish_transfer(*open, true, 0, bytesRead, overlapped);
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(bytesToRead, size - at));
  return platform::run_transfer(*open, false, at, buffer, length, bytesRead, overlapped);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
  std::uint64_t at = 0;
  std::shared_ptr<OpenDevice> open = platform::start_transfer(
      file, buffer, bytesToWrite, bytesWritten, overlapped, GENERIC_WRITE, "WriteFile", at);
  if (open == nullptr)
    return FALSE;
  if (bytesToWrite == 0)
    return platform::finish_transfer(*open, true, 0, bytesWritten, overlapped);
  const std::uint64_t size = open->device->facts().size;
  if (at >= size || size - at < bytesToWrite)
    return platform::fail(ERROR_SECTOR_NOT_FOUND);
  return platform::run_transfer(*open, true, at, const_cast<void*>(buffer), bytesToWrite,
                                bytesWritten, overlapped);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                         BOOL wait) {
  if (bytesTransferred != nullptr)
    *bytesTransferred = 0;
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return FALSE;
  if (overlapped == nullptr)
    return platform::fail(ERROR_INVALID_PARAMETER);
  if (!wait)
    open->device->poll(); // a transfer that has ended is seen as finished
  std::unique_ptr<platform::Transfer> transfer;
  {
    std::lock_guard<std::mutex> lock(open->mutex);
    auto found = open->inFlight.find(overlapped);
    if (found != open->inFlight.end()) {
      if (!wait && !found->second->finished.load(std::memory_order_acquire))
        return platform::fail(ERROR_IO_INCOMPLETE);
      transfer = std::move(found->second);
      open->inFlight.erase(found);
    }
  }
  if (transfer != nullptr) {
    open->device->wait_for(*transfer);
    OpenDevice::record_outcome(*overlapped, *transfer);
  } else if (overlapped->Internal == platform::status_pending) {
    return platform::fail(ERROR_INVALID_PARAMETER); // no transfer of this handle
  }
  if (bytesTransferred != nullptr)
    *bytesTransferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal != ERROR_SUCCESS)
    return platform::fail(static_cast<DWORD>(overlapped->Internal));
  return TRUE;
}

BOOL SetFileIoOverlappedRange(HANDLE file, PUCHAR start, ULONG length) {
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return FALSE;
  if ((open->flags & FILE_FLAG_OVERLAPPED) == 0 || start == nullptr || length == 0)
    return platform::fail(ERROR_INVALID_PARAMETER);
  return open->device->keep_memory(start, length) ? TRUE : FALSE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return INVALID_SET_FILE_POINTER;
  const std::int64_t distance =
      distanceToMoveHigh != nullptr
          ? static_cast<std::int64_t>(
                (static_cast<std::uint64_t>(static_cast<DWORD>(*distanceToMoveHigh)) << 32) |
                static_cast<DWORD>(distanceToMove))
          : static_cast<std::int64_t>(distanceToMove);
  std::int64_t target = 0;
  if (!platform::move_pointer(*open, distance, moveMethod, target))
    return INVALID_SET_FILE_POINTER;
  if (distanceToMoveHigh == nullptr && target > 0xFFFFFFFFll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  open->position = target;
  if (distanceToMoveHigh != nullptr)
    *distanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(static_cast<std::uint64_t>(target) & 0xFFFFFFFFu);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, PLARGE_INTEGER newFilePointer,
                      DWORD moveMethod) {
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return FALSE;
  std::int64_t target = 0;
  if (!platform::move_pointer(*open, distanceToMove.QuadPart, moveMethod, target))
    return FALSE;
  open->position = target;
  if (newFilePointer != nullptr)
    newFilePointer->QuadPart = target;
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(file);
  if (open == nullptr)
    return FALSE;
  if ((open->access & GENERIC_WRITE) == 0)
    return platform::fail(ERROR_ACCESS_DENIED);
  if (platform::failing(*open->device, "FlushFileBuffers"))
    return FALSE;
  return open->device->flush() ? TRUE : FALSE;
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped) {
  if (bytesReturned != nullptr)
    *bytesReturned = 0;
  if (overlapped != nullptr)
    return platform::fail(ERROR_NOT_SUPPORTED);
  std::shared_ptr<OpenDevice> open = platform::find_handle_as<OpenDevice>(device);
  if (open == nullptr)
    return FALSE;
  const char* name = platform::control_name(ioControlCode);
  if (name == nullptr)
    return platform::fail(ERROR_INVALID_FUNCTION);
  if (platform::failing(*open->device, name))
    return FALSE;
  const platform::DeviceFacts& facts = open->device->facts();
  switch (ioControlCode) {
  case IOCTL_DISK_GET_DRIVE_GEOMETRY: {
    DISK_GEOMETRY geometry;
    std::memset(&geometry, 0, sizeof geometry);
    geometry.Cylinders.QuadPart = facts.cylinders;
    geometry.MediaType = facts.removable ? RemovableMedia : FixedMedia;
    geometry.TracksPerCylinder = facts.tracksPerCylinder;
    geometry.SectorsPerTrack = facts.sectorsPerTrack;
    geometry.BytesPerSector = facts.sectorSize;
    return platform::give_record(geometry, outBuffer, outBufferSize, bytesReturned);
  }
  case IOCTL_DISK_GET_PARTITION_INFO: {
    PARTITION_INFORMATION partition;
    std::memset(&partition, 0, sizeof partition);
    partition.StartingOffset.QuadPart = static_cast<LONGLONG>(facts.offset);
    partition.PartitionLength.QuadPart = static_cast<LONGLONG>(facts.size);
    partition.HiddenSectors =
        facts.sectorSize != 0 ? static_cast<DWORD>(facts.offset / facts.sectorSize) : 0;
    partition.PartitionNumber = facts.partitionNumber;
    partition.RecognizedPartition = facts.volume ? 1 : 0;
    return platform::give_record(partition, outBuffer, outBufferSize, bytesReturned);
  }
  case IOCTL_DISK_GET_PARTITION_INFO_EX: {
    PARTITION_INFORMATION_EX partition;
    std::memset(&partition, 0, sizeof partition);
    partition.PartitionStyle = facts.volume ? PARTITION_STYLE_MBR : PARTITION_STYLE_RAW;
    partition.StartingOffset.QuadPart = static_cast<LONGLONG>(facts.offset);
    partition.PartitionLength.QuadPart = static_cast<LONGLONG>(facts.size);
    partition.PartitionNumber = facts.partitionNumber;
    return platform::give_record(partition, outBuffer, outBufferSize, bytesReturned);
  }
  case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
    if (!facts.hasDeviceNumber)
      return platform::fail(ERROR_INVALID_FUNCTION);
    STORAGE_DEVICE_NUMBER number{FILE_DEVICE_DISK, facts.diskNumber, facts.partitionNumber};
    return platform::give_record(number, outBuffer, outBufferSize, bytesReturned);
  }
  case IOCTL_STORAGE_GET_DEVICE_NUMBER_EX: {
    if (!facts.hasDeviceNumber)
      return platform::fail(ERROR_INVALID_FUNCTION);
    STORAGE_DEVICE_NUMBER_EX number;
    std::memset(&number, 0, sizeof number);
    number.Version = sizeof number;
    number.Size = sizeof number;
    number.DeviceType = FILE_DEVICE_DISK;
    number.DeviceNumber = facts.diskNumber;
    number.DeviceGuid = platform::device_guid(facts);
    number.PartitionNumber = facts.partitionNumber;
    return platform::give_record(number, outBuffer, outBufferSize, bytesReturned);
  }
  case IOCTL_DISK_STAND_INS:
    if (facts.volume)
      return platform::fail(ERROR_INVALID_FUNCTION);
    return platform::stand_ins(*open->device, outBuffer, outBufferSize, bytesReturned);
  case IOCTL_DISK_VOLUME_NAMES: {
    if (facts.volume)
      return platform::fail(ERROR_INVALID_FUNCTION);
    std::vector<std::string> names;
    if (!open->device->volume_names(names))
      return FALSE;
    DWORD count = 0;
    const bool fits =
        platform::copy_list(names, static_cast<LPSTR>(outBuffer), outBufferSize, count);
    if (bytesReturned != nullptr)
      *bytesReturned = count;
    return fits ? TRUE : platform::fail(ERROR_MORE_DATA);
  }
  case IOCTL_STORAGE_QUERY_PROPERTY:
    return platform::storage_property(facts, inBuffer, inBufferSize, outBuffer, outBufferSize,
                                      bytesReturned);
  case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS:
    if (!facts.volume)
      return platform::fail(ERROR_INVALID_FUNCTION);
    return platform::disk_extents(facts, outBuffer, outBufferSize, bytesReturned);
  case FSCTL_ALLOW_EXTENDED_DASD_IO:
    return facts.volume ? TRUE : platform::fail(ERROR_INVALID_FUNCTION);
  case FSCTL_LOCK_VOLUME:
  case FSCTL_DISMOUNT_VOLUME:
    if (!facts.volume)
      return platform::fail(ERROR_INVALID_FUNCTION);
    if (open->access == 0)
      return platform::fail(ERROR_ACCESS_DENIED);
    if (ioControlCode == FSCTL_LOCK_VOLUME)
      return open->device->lock() ? TRUE : FALSE;
    return open->device->dismount() ? TRUE : FALSE;
  default: return platform::fail(ERROR_INVALID_FUNCTION);
  }
}

HANDLE FindFirstVolumeA(LPSTR volumeName, DWORD bufferLength) {
  auto walk = std::make_shared<VolumeWalk>();
  if (!platform::current_machine()->volume_names(walk->names))
    return INVALID_HANDLE_VALUE;
  if (walk->names.empty()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
  }
  if (!platform::copy_name(walk->names[0], volumeName, bufferLength))
    return INVALID_HANDLE_VALUE;
  walk->next = 1;
  return platform::register_handle(walk);
}

BOOL FindNextVolumeA(HANDLE findVolume, LPSTR volumeName, DWORD bufferLength) {
  std::shared_ptr<VolumeWalk> walk = platform::find_handle_as<VolumeWalk>(findVolume);
  if (walk == nullptr)
    return FALSE;
  if (walk->next >= walk->names.size())
    return platform::fail(ERROR_NO_MORE_FILES);
  if (!platform::copy_name(walk->names[walk->next], volumeName, bufferLength))
    return FALSE;
  ++walk->next;
  return TRUE;
}

BOOL FindVolumeClose(HANDLE findVolume) {
  if (platform::find_handle_as<VolumeWalk>(findVolume) == nullptr)
    return FALSE;
  platform::remove_handle(findVolume);
  return TRUE;
}

BOOL GetVolumeInformationA(LPCSTR rootPathName, LPSTR volumeNameBuffer, DWORD volumeNameSize,
                           LPDWORD volumeSerialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemNameBuffer,
                           DWORD fileSystemNameSize) {
  if (rootPathName == nullptr)
    return platform::fail(ERROR_NOT_SUPPORTED); // the current folder's volume
  platform::VolumeInformation info;
  if (!platform::current_machine()->volume_information(rootPathName, info))
    return FALSE;
  if ((volumeNameBuffer != nullptr && info.label.size() + 1 > volumeNameSize) ||
      (fileSystemNameBuffer != nullptr && info.fileSystem.size() + 1 > fileSystemNameSize))
    return platform::fail(ERROR_INSUFFICIENT_BUFFER);
  if (volumeNameBuffer != nullptr)
    std::memcpy(volumeNameBuffer, info.label.c_str(), info.label.size() + 1);
  if (fileSystemNameBuffer != nullptr)
    std::memcpy(fileSystemNameBuffer, info.fileSystem.c_str(), info.fileSystem.size() + 1);
  if (volumeSerialNumber != nullptr)
    *volumeSerialNumber = info.serialNumber;
  if (maximumComponentLength != nullptr)
    *maximumComponentLength = 255;
  if (fileSystemFlags != nullptr)
    *fileSystemFlags = 0;
  return TRUE;
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max) {
  if (deviceName == nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  // The DOS device names that a device path takes after its prefix.
  const platform::DevicePath parsed =
      platform::parse_device_path(std::string("\\\\.\\") + deviceName);
  std::string name;
  if (parsed.kind != platform::DevicePath::Drive ||
      !platform::current_machine()->system_name(parsed.number, name)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  DWORD count = 0;
  if (!platform::copy_list({name}, targetPath, max, count)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return count;
}

BOOL GetVolumePathNamesForVolumeNameA(LPCSTR volumeName, LPSTR names, DWORD length,
                                      LPDWORD returned) {
  if (returned != nullptr)
    *returned = 0;
  const platform::DevicePath parsed =
      volumeName != nullptr ? platform::parse_root_path(volumeName) : platform::DevicePath();
  if (parsed.kind != platform::DevicePath::Volume)
    return platform::fail(ERROR_INVALID_NAME);
  std::vector<std::string> paths;
  if (!platform::current_machine()->volume_path_names(parsed.guid, paths))
    return FALSE;
  DWORD count = 0;
  const bool fits = platform::copy_list(paths, names, length, count);
  if (returned != nullptr)
    *returned = count;
  return fits ? TRUE : platform::fail(ERROR_MORE_DATA);
}

DWORD GetLogicalDrives() { return platform::current_machine()->logical_drives(); }

BOOL DeleteVolumeMountPointA(LPCSTR volumeMountPoint) {
  if (volumeMountPoint == nullptr)
    return platform::fail(ERROR_INVALID_PARAMETER);
  const platform::DevicePath point = platform::parse_root_path(volumeMountPoint);
  if (point.kind != platform::DevicePath::Letter)
    return platform::fail(ERROR_NOT_SUPPORTED); // folder mount points are not implemented
  return platform::current_machine()->delete_mount_point(point.letter) ? TRUE : FALSE;
}

UINT SetErrorMode(UINT mode) { return platform::error_mode.exchange(mode); }

const char* device_error_message(DWORD code) {
  switch (code) {
  case ERROR_NO_MORE_FILES: return "There are no more files.";
  case ERROR_SECTOR_NOT_FOUND: return "The device cannot find the sector asked for.";
  case ERROR_FILENAME_EXCED_RANGE: return "The name is too long for the buffer given.";
  case ERROR_INVALID_ADDRESS: return "The address is not valid.";
  case ERROR_OPERATION_ABORTED: return "The transfer was abandoned.";
  case ERROR_IO_INCOMPLETE: return "The overlapped transfer has not ended yet.";
  case ERROR_IO_PENDING: return "The overlapped transfer is in flight.";
  case ERROR_UNRECOGNIZED_VOLUME: return "The volume holds no file system that is known here.";
  default: return nullptr;
  }
}
