#include "FileStd.h"

#include "Crt.h"
#include "DebugLog.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace dt {

FileStd::~FileStd() {
  if (fd != -1)
    close();
}

bool FileStd::open(const std::string& path, OpenMode mode, int extraFlags) {
  if (fd != -1)
    close();
  int flags = extraFlags | O_BINARY;
  switch (mode) {
  case OpenMode::Read: flags |= O_RDONLY; break;
  case OpenMode::Write: flags |= O_WRONLY | O_CREAT; break;
  case OpenMode::ReadWrite: flags |= O_RDWR | O_CREAT; break;
  }
  // Checked before the open, which has effects of its own on some devices (a tape rewinds, a
  // pipe blocks until its other end is opened).
  if (is_special_file(path.c_str())) {
    debug_log() << "FileStd.cpp(40): " << path << " is a device or a pipe, not a file\n";
    return false;
  }
  // Qualified: GLib may define g_open as the system call of the same name as this member.
  fd = ::g_open(path.c_str(), flags, 0644);
  if (fd == -1) {
    debug_log() << "FileStd.cpp(44): " << path << " " << std::strerror(errno) << "\n";
    return false;
  }
  const long long size = _lseeki64(fd, 0, SEEK_END);
  if (size == -1) {
    debug_log() << "FileStd.cpp(49): " << path << " " << std::strerror(errno) << "\n";
    _close(fd);
    fd = -1;
    return false;
  }
  set_size(static_cast<std::uint64_t>(size));
  return true;
}

bool FileStd::read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) {
  if (read_some(offset, buffer, length) == static_cast<std::int64_t>(length))
    return true;
  debug_log() << "FileStd.cpp(60)\n";
  return false;
}

std::int64_t FileStd::read_some(std::uint64_t offset, void* buffer, std::uint64_t length) {
  return move(Direction::Read, offset, buffer, length);
}

bool FileStd::write_exact(std::uint64_t offset, const void* data, std::uint64_t length) {
  if (write_some(offset, data, length) == static_cast<std::int64_t>(length))
    return true;
  debug_log() << "FileStd.cpp(84)\n";
  return false;
}

std::int64_t FileStd::write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
  return move(Direction::Write, offset, const_cast<void*>(data), length);
}

std::int64_t FileStd::move(Direction direction, std::uint64_t offset, void* buffer,
                           std::uint64_t length) {
  const bool write = direction == Direction::Write;
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) != static_cast<long long>(offset)) {
    debug_log() << (write ? "FileStd.cpp(94): " : "FileStd.cpp(70): ") << offset << "\n";
    return 0;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::uint64_t done = 0;
  while (done < length) {
    const auto count = static_cast<unsigned int>(std::min(length - done, max_transfer));
    const int n = write ? _write(fd, bytes + done, count) : _read(fd, bytes + done, count);
    if (n == -1) {
      debug_log() << (write ? "FileStd.cpp(99): " : "FileStd.cpp(75): ") << offset + done << " "
                  << length - done << " " << -1 << " " << std::strerror(errno) << "\n";
      break;
    }
    if (n == 0) {
      // The end of the file, for a read; a write that moves nothing would never end.
      if (write)
        debug_log() << "FileStd.cpp(100): " << offset + done << " " << length - done
                    << " nothing was written\n";
      break;
    }
    done += static_cast<std::uint64_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

bool FileStd::sync() {
  if (_commit(fd) == -1) {
    debug_log() << "FileStd.cpp(112): " << std::strerror(errno) << "\n";
    return false;
  }
  return true;
}

bool FileStd::close() {
  if (_close(fd) == -1) {
    debug_log() << "FileStd.cpp(121): " << std::strerror(errno) << "\n";
    return false;
  }
  fd = -1;
  return true;
}

} // namespace dt
