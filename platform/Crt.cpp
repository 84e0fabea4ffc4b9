#include "Crt.h"

#include "Located.h"

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

namespace platform {

int open_retried(int folder, const char* name, int flags, mode_t mode) {
  for (;;) {
    const int fd = ::openat(folder, name, flags, mode);
    if (fd >= 0 || errno != EINTR)
      return fd;
  }
}

int reopen_located(int located, int flags, int folder, const char* name) {
  // The descriptor's entry in /proc is a link of its own kind, which leads to the file itself.
  const std::string self = "/proc/self/fd/" + std::to_string(located);
  int fd = open_retried(AT_FDCWD, self.c_str(), flags & ~O_NOFOLLOW);
  if (fd >= 0 || errno != ENOENT)
    return fd;
  // No /proc: the name again, which must still lead to the file located.
  fd = open_retried(folder, name, flags);
  if (fd < 0)
    return -1;
  struct stat was, now;
  if (::fstat(located, &was) != 0 || ::fstat(fd, &now) != 0 || was.st_dev != now.st_dev ||
      was.st_ino != now.st_ino) {
    ::close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

} // namespace platform

namespace {

// Opening is itself an act for some files: a tape rewinds, a watchdog starts, the writer
// waiting on a named pipe goes on. The name is first only located; what is no regular file is
// handed back as that located descriptor, which callers ask and refuse, never opened.
int located_for_reading(int folder, const char* name, int locating) {
  const int located = platform::open_retried(folder, name, O_PATH | O_CLOEXEC | locating);
  if (located < 0)
    return -1;
  struct stat status;
  if (::fstat(located, &status) != 0 || !S_ISREG(status.st_mode))
    return located;
  const int fd = platform::reopen_located(
      located, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | locating, folder, name);
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

} // namespace

int open_for_reading(const char* path) { return located_for_reading(AT_FDCWD, path, 0); }

int open_at_for_reading(int folder, const char* name) {
  return located_for_reading(folder, name, O_NOFOLLOW);
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
