#include "ReaderWin32.h"

#include "DebugLog.h"
#include "DeviceMapping.h"
#include "Strings.h"
#include "Utils.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace dt {

namespace {

// Sectors the bounce buffer holds: one transfer of the device moves at most that many.
constexpr std::uint64_t buffer_sectors = 65536;

// Moves the handle to `offset`. Returns false, with a debug-log line, when the system refuses.
bool seek_handle(HANDLE handle, std::uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  const DWORD low =
      SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    debug_log() << "ReaderWin32.cpp(24): " << offset << " " << 0 << " " << last_error_text()
                << "\n";
    return false;
  }
  return true;
}

// Reads `length` bytes at `offset` into `buffer`. Returns the count read, fewer at the end of
// the medium; 0, with a debug-log line, on failure.
std::uint64_t read_at(HANDLE handle, std::uint64_t offset, void* buffer, std::uint64_t length) {
  if (!seek_handle(handle, offset)) {
    debug_log() << "ReaderWin32.cpp(327): " << offset << "\n";
    return 0;
  }
  DWORD count = 0;
  if (!ReadFile(handle, buffer, static_cast<DWORD>(length), &count, nullptr)) {
    const std::string error = last_error_text();
    debug_log() << "ReaderWin32.cpp(333): " << offset << " " << length << " " << count << " "
                << error << "\n";
    return 0;
  }
  return count;
}

// Writes `length` bytes of `data` at `offset`. Returns the count written; 0, with a debug-log
// line, on failure.
std::uint64_t write_at(HANDLE handle, std::uint64_t offset, const void* data,
                       std::uint64_t length) {
  if (!seek_handle(handle, offset)) {
    debug_log() << "ReaderWin32.cpp(343): " << offset << "\n";
    return 0;
  }
  DWORD count = 0;
  if (!WriteFile(handle, data, static_cast<DWORD>(length), &count, nullptr)) {
    const std::string error = last_error_text();
    debug_log() << "ReaderWin32.cpp(349): " << offset << " " << length << " " << count << " "
                << error << "\n";
    return 0;
  }
  return count;
}

// A device control without input or output; false with the last error set when it fails.
bool control(HANDLE handle, DWORD code) {
  DWORD returned = 0;
  return DeviceIoControl(handle, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}

} // namespace

ReaderWin32::~ReaderWin32() { release(); }

bool ReaderWin32::open(const std::string& path, bool readOnly, bool disableBuffering) {
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (disableBuffering) {
    debug_log() << "ReaderWin32.cpp(53): " << path
                << ": FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH"
                << "\n";
    flags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
  }
  const DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  HANDLE opened = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    debug_log() << "ReaderWin32.cpp(65): " << path << " " << last_error_text() << "\n";
    return false;
  }
  std::uint64_t bytes = 0;
  std::uint64_t reported = 0;
  if (!get_disk_size(opened, bytes, reported)) {
    debug_log() << "ReaderWin32.cpp(71): " << path << "\n";
    CloseHandle(opened);
    return false;
  }
  // In 64 bits: a sector size of 64 KiB or more no longer wraps the buffer size to nothing.
  const std::uint64_t newBufferSize = reported * buffer_sectors;
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
        lock_volumes(number.DeviceNumber);
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
  return true;
}

void ReaderWin32::lock_volumes(DWORD diskNumber) {
  char name[MAX_PATH];
  HANDLE find = FindFirstVolumeA(name, MAX_PATH);
  if (find == INVALID_HANDLE_VALUE) {
    debug_log() << "ReaderWin32.cpp(360): "
                << "FindFirstVolume failed: " << last_error_text() << "\n";
    return;
  }
  do {
    const std::string listed = name;
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
  } while (FindNextVolumeA(find, name, MAX_PATH));
  FindVolumeClose(find);
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
  if (!CloseHandle(handle_)) {
    debug_log() << "ReaderWin32.cpp(262): " << last_error_text() << "\n";
    return false;
  }
  handle_ = INVALID_HANDLE_VALUE;
  return true;
}

std::int64_t ReaderWin32::read_some(std::uint64_t offset, void* out, std::uint64_t length) {
  if (sectorSize_ == 0 || offset % sectorSize_ != 0 || length % sectorSize_ != 0 ||
      length > bufferSize) {
    debug_log() << "ReaderWin32.cpp(207): " << offset << " " << length << " " << sectorSize_ << " "
                << bufferSize << "\n";
    return 0;
  }
  if (offset > size() || length > size() - offset) {
    if (offset >= size()) {
      debug_log() << "ReaderWin32.cpp(212): " << offset << "\n";
      return 0;
    }
    length = size() - offset;
  }
  cacheLength = 0; // the buffer is about to be overwritten
  const std::uint64_t n = read_at(handle_, offset, buffer, length);
  std::memcpy(out, buffer, n);
  return static_cast<std::int64_t>(n);
}

std::int64_t ReaderWin32::write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
  if (sectorSize_ == 0 || offset % sectorSize_ != 0 || length % sectorSize_ != 0 ||
      length > bufferSize) {
    debug_log() << "ReaderWin32.cpp(231): " << offset << " " << length << " " << sectorSize_ << " "
                << bufferSize << "\n";
    return 0;
  }
  if (offset > size() || length > size() - offset) {
    if (offset >= size()) {
      debug_log() << "ReaderWin32.cpp(236): " << offset << "\n";
      return 0;
    }
    length = size() - offset;
  }
  cacheLength = 0;
  // Always from the bounce buffer, which meets the alignment of unbuffered transfers.
  std::memcpy(buffer, data, length);
  return static_cast<std::int64_t>(write_at(handle_, offset, buffer, length));
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
