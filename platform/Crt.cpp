#include "Crt.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

int _read(int fd, void* buffer, unsigned int count) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, count);
    if (n >= 0 || errno != EINTR)
      return static_cast<int>(n);
  }
}

int _write(int fd, const void* buffer, unsigned int count) {
  for (;;) {
    const ssize_t n = ::write(fd, buffer, count);
    if (n >= 0 || errno != EINTR)
      return static_cast<int>(n);
  }
}

long long _lseeki64(int fd, long long offset, int origin) {
  return static_cast<long long>(::lseek(fd, static_cast<off_t>(offset), origin));
}

int _commit(int fd) {
  for (;;) {
    if (::fsync(fd) == 0)
      return 0;
    if (errno != EINTR)
      return -1;
  }
}

int _close(int fd) { return ::close(fd); }

namespace {

struct ThreadStart {
  void (*start)(void*);
  void* argument;
};

void* run_thread(void* raw) {
  ThreadStart call = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  call.start(call.argument);
  return nullptr;
}

} // namespace

std::uintptr_t _beginthread(void (*start)(void*), unsigned int stackSize, void* argument) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0)
    return static_cast<std::uintptr_t>(-1);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0)
    pthread_attr_setstacksize(&attributes, stackSize);
  auto* call = new ThreadStart{start, argument};
  pthread_t thread;
  const int error = pthread_create(&thread, &attributes, run_thread, call);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    delete call;
    errno = error;
    return static_cast<std::uintptr_t>(-1);
  }
  return static_cast<std::uintptr_t>(thread);
}

namespace {

int open_retried(const char* path, int flags) {
  for (;;) {
    const int fd = ::open(path, flags);
    if (fd >= 0 || errno != EINTR)
      return fd;
  }
}

} // namespace

int open_for_reading(const char* path) {
  // Opening is itself an act for some files: a tape rewinds, a watchdog starts, the writer
  // waiting on a named pipe goes on. The path is first only located; what is no regular file is
  // handed back as that located descriptor, which callers ask and refuse, never opened.
  const int located = open_retried(path, O_PATH | O_CLOEXEC);
  if (located < 0)
    return -1;
  struct stat status;
  if (::fstat(located, &status) != 0 || !S_ISREG(status.st_mode))
    return located;
  // The file located, not whatever the path names by now.
  const std::string self = "/proc/self/fd/" + std::to_string(located);
  int fd = open_retried(self.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) // no /proc: the path itself, as callers check what they got
    fd = open_retried(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ::close(located);
    errno = error;
    return -1;
  }
  // The file under the number the locating took, the lowest free one, as a plain open gives.
  if (::dup3(fd, located, O_CLOEXEC) < 0) {
    ::close(located);
    return fd;
  }
  ::close(fd);
  return located;
}

int keep_file_attributes(const char* path, unsigned mode, std::uint32_t user, std::uint32_t group) {
  const int fd = open_retried(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  struct stat status;
  int error = 0;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode) || status.st_nlink != 1) {
    error = EINVAL;
  } else {
    // The owner first: a change of owner takes the set-user and set-group bits away. A program
    // that may not give the file away still sets its permissions.
    if ((status.st_uid != user || status.st_gid != group) && ::fchown(fd, user, group) != 0)
      error = errno;
    if (::fchmod(fd, mode & 07777) != 0 && error == 0)
      error = errno;
  }
  ::close(fd);
  errno = error;
  return error == 0 ? 0 : -1;
}

bool is_special_file(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0)
    return false;
  return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool is_regular_descriptor(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0)
    return false;
  return S_ISREG(status.st_mode);
}
