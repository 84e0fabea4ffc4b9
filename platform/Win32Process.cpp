#include "Win32Process.h"

#include "Errno.h"
#include "Located.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <malloc.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

DWORD GetModuleFileNameA(HINSTANCE module, LPSTR fileName, DWORD size) {
  if (module != 0 || fileName == nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::vector<char> path(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) {
      platform::set_last_error_from_errno(errno);
      return 0;
    }
    if (static_cast<std::size_t>(n) < path.size()) {
      path.resize(static_cast<std::size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
  if (path.size() >= size) {
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, path.data(), path.size());
  fileName[path.size()] = '\0';
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

namespace platform {

bool terminate_process(GPid process) {
  // A pid of 0 or below would address a whole process group.
  if (process <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (::kill(process, SIGKILL) != 0) {
    set_last_error_from_errno(errno);
    return false;
  }
  return true;
}

int exit_status(int waitStatus) {
  if (WIFEXITED(waitStatus))
    return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus))
    return WTERMSIG(waitStatus);
  return waitStatus;
}

GIOChannel* io_channel_new_fd(int fd) { return g_io_channel_unix_new(fd); }

void io_channel_make_pollfd(GIOChannel* channel, GIOCondition condition, GPollFD* pollFd) {
  pollFd->fd = g_io_channel_unix_get_fd(channel);
  pollFd->events = static_cast<gushort>(condition);
  pollFd->revents = 0;
}

EndRequestWatch::EndRequestWatch(Handler handler, void* data)
    : handler(handler), data(data), requests{{this, SIGTERM, 0}, {this, SIGHUP, 0}} {
  for (Request& request : requests)
    request.source = g_unix_signal_add(request.number, on_request, &request);
}

namespace {

// Whether ignore_end_requests was called: the requests stay ignored from then on.
std::atomic<bool> endRequestsIgnored{false};

void ignore_both() {
  ::signal(SIGTERM, SIG_IGN);
  ::signal(SIGHUP, SIG_IGN);
}

} // namespace

EndRequestWatch::~EndRequestWatch() {
  // With its last source the signal's default action comes back. For a program that ignores the
  // requests by now, a request coming between the two would still end it at once: it waits,
  // blocked, and is dropped when they are ignored again.
  sigset_t ends, before;
  sigemptyset(&ends);
  sigaddset(&ends, SIGTERM);
  sigaddset(&ends, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &ends, &before);
  for (Request& request : requests)
    g_source_remove(request.source);
  if (endRequestsIgnored)
    ignore_both();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

gboolean EndRequestWatch::on_request(gpointer request) {
  const Request& asked = *static_cast<Request*>(request);
  asked.watch->handler(asked.number, asked.watch->data);
  return G_SOURCE_CONTINUE;
}

void ignore_broken_pipe() { ::signal(SIGPIPE, SIG_IGN); }

ProgramLock::ProgramLock(int folder, const std::string& name) {
  const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  // What stands at the name is first only located: a lock is a regular file, and whatever else
  // stands there (a folder, a link, a pipe) may be how another program holds it.
  for (int tries = 0; fd == -1 && tries < 100; ++tries) {
    const int located = open_retried(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (located == -1 && errno == ENOENT) {
      fd = open_retried(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | flags, 0644);
      if (fd == -1 && errno == EEXIST)
        continue; // made by another program meanwhile
      if (fd == -1) {
        reason_ = std::strerror(errno);
        return;
      }
      break;
    }
    if (located == -1) {
      reason_ = std::strerror(errno);
      return;
    }
    struct stat status;
    const bool asked = ::fstat(located, &status) == 0;
    if (!asked || !S_ISREG(status.st_mode)) {
      if (asked)
        state_ = State::NoFile;
      else
        reason_ = std::strerror(errno);
      ::close(located);
      return;
    }
    fd = reopen_located(located, O_RDWR | flags, folder, name.c_str());
    // A folder that takes no new file may still hold the file of an earlier run.
    if (fd == -1 && (errno == EACCES || errno == EROFS || errno == EPERM))
      fd = reopen_located(located, O_RDONLY | flags, folder, name.c_str());
    if (fd == -1)
      reason_ = std::strerror(errno);
    ::close(located);
    if (fd == -1)
      return;
  }
  if (fd == -1) {
    reason_ = std::strerror(EEXIST);
    return;
  }
  int result;
  do
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result == 0) {
    state_ = State::Held;
    return;
  }
  if (errno == EWOULDBLOCK)
    state_ = State::HeldElsewhere;
  else
    reason_ = std::strerror(errno);
  ::close(fd);
  fd = -1;
}

ProgramLock::~ProgramLock() {
  if (fd != -1)
    ::close(fd);
}

void ignore_end_requests() {
  endRequestsIgnored = true;
  ignore_both();
}

std::size_t heap_in_use() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

} // namespace platform
