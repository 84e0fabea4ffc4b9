#include "ReaderFile.h"

#include "Crt.h"
#include "DebugLog.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace dt {

ReaderFile::~ReaderFile() { close(); }

bool ReaderFile::open(const std::string& path) {
  notAFile = false;
  // A plain open of a named pipe waits for a writer, for ever if none comes.
  const int opened = open_for_reading(path.c_str());
  if (opened == -1) {
    debug_log() << "ReaderFile.cpp(32): " << path << " " << std::strerror(errno) << "\n";
    return false;
  }
  // A pipe or a device would give no size, or block the reads, or never end.
  if (!is_regular_descriptor(opened)) {
    debug_log() << "ReaderFile.cpp(35): " << path << " is not a regular file\n";
    notAFile = true;
    _close(opened);
    return false;
  }
  const long long end = _lseeki64(opened, 0, SEEK_END);
  if (end == -1) {
    debug_log() << "ReaderFile.cpp(37): " << path << " " << std::strerror(errno) << "\n";
    _close(opened);
    return false;
  }
  close();
  fd = opened;
  set_size(static_cast<std::uint64_t>(end));
  return true;
}

void ReaderFile::close() {
  if (fd == -1)
    return;
  if (_close(fd) != 0)
    debug_log() << "ReaderFile.cpp(77): " << std::strerror(errno) << "\n";
  // The descriptor is released even when closing it reports an error; closing it again
  // later could close a file that has been given the same number meanwhile.
  fd = -1;
}

bool ReaderFile::read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) {
  if (read_some(offset, buffer, length) == static_cast<std::int64_t>(length))
    return true;
  debug_log() << "ReaderFile.cpp(50)\n";
  return false;
}

std::int64_t ReaderFile::read_some(std::uint64_t offset, void* buffer, std::uint64_t length) {
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) != static_cast<long long>(offset)) {
    debug_log() << "ReaderFile.cpp(60): " << offset << "\n";
    return 0;
  }
  // A file served over FUSE or NFS may give fewer bytes than asked and the rest at the next
  // call: only the end of the file or a failing call ends the read early.
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::uint64_t done = 0;
  while (done < length) {
    // The runtime counts in 32 bits and answers in an int.
    const std::uint64_t left = length - done;
    const unsigned int count = left > INT_MAX ? INT_MAX : static_cast<unsigned int>(left);
    const int got = _read(fd, bytes + done, count);
    if (got == -1) {
      debug_log() << "ReaderFile.cpp(65): " << offset + done << " " << left << " -1 "
                  << std::strerror(errno) << "\n";
      return 0;
    }
    if (got == 0)
      break;
    done += static_cast<std::uint64_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

} // namespace dt
