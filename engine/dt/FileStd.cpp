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
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) != static_cast<long long>(offset)) {
    debug_log() << "FileStd.cpp(70): " << offset << "\n";
    return 0;
  }
  const auto count = static_cast<unsigned int>(std::min(length, max_transfer));
  const int n = _read(fd, buffer, count);
  if (n == -1) {
    debug_log() << "FileStd.cpp(75): " << offset << " " << length << " " << -1 << " "
                << std::strerror(errno) << "\n";
    return 0;
  }
  return n;
}

bool FileStd::write_exact(std::uint64_t offset, const void* data, std::uint64_t length) {
  if (write_some(offset, data, length) == static_cast<std::int64_t>(length))
    return true;
  debug_log() << "FileStd.cpp(84)\n";
  return false;
}

std::int64_t FileStd::write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) != static_cast<long long>(offset)) {
    debug_log() << "FileStd.cpp(94): " << offset << "\n";
    return 0;
  }
  const auto count = static_cast<unsigned int>(std::min(length, max_transfer));
  const int n = _write(fd, data, count);
  if (n == -1) {
    debug_log() << "FileStd.cpp(99): " << offset << " " << length << " " << -1 << " "
                << std::strerror(errno) << "\n";
    return 0;
  }
  return n;
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
