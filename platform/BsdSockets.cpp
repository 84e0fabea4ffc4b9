#include "BsdSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::bsd {

namespace {

std::int64_t now_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

int open_tcp_socket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP); }

bool is_socket(int fd) {
  struct stat status {};
  return fd >= 0 && ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

// A close interrupted by a signal has released the descriptor all the same on Linux: it is
// never retried, so that a descriptor opened meanwhile by someone else is not closed.
int close_socket(int fd) {
  const int result = ::close(fd);
  return result == 0 || errno == EINTR ? 0 : -1;
}

int set_non_blocking(int fd, bool nonBlocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0)
    return -1;
  return ::fcntl(fd, F_SETFL, nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

int connect_ipv4(int fd, std::uint32_t address, std::uint16_t port) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = port;
  target.sin_addr.s_addr = address;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
    return 0;
  if (errno != EINTR)
    return -1;
  // Interrupted: the connection goes on regardless. A blocking caller waits for its outcome.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) != 0) {
    errno = EINPROGRESS;
    return -1;
  }
  std::vector<PollRequest> wait{{fd, false, true, false, false, false, false, false}};
  if (poll_sockets(wait, -1) < 0)
    return -1;
  int error = 0;
  if (take_pending_error(fd, error) < 0)
    return -1;
  errno = error;
  return error == 0 ? 0 : -1;
}

long send_bytes(int fd, const void* buffer, std::size_t length) {
  for (;;) {
    const ssize_t n = ::send(fd, buffer, length, MSG_NOSIGNAL);
    if (n >= 0 || errno != EINTR)
      return static_cast<long>(n);
  }
}

long receive_bytes(int fd, void* buffer, std::size_t length) {
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, length, 0);
    if (n >= 0 || errno != EINTR)
      return static_cast<long>(n);
  }
}

int take_pending_error(int fd, int& error) {
  socklen_t size = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
}

int poll_sockets(std::vector<PollRequest>& requests, int timeoutMs) {
  std::vector<pollfd> fds;
  for (const PollRequest& request : requests)
    fds.push_back({request.fd,
                   static_cast<short>((request.read ? POLLIN : 0) | (request.write ? POLLOUT : 0)),
                   0});
  const std::int64_t deadline = timeoutMs < 0 ? 0 : now_ms() + timeoutMs;
  int ready = 0;
  for (;;) {
    int left = -1;
    if (timeoutMs >= 0) {
      const std::int64_t remaining = deadline - now_ms();
      left = remaining > 0 ? static_cast<int>(remaining) : 0;
    }
    ready = ::poll(fds.data(), fds.size(), left);
    if (ready >= 0 || errno != EINTR)
      break;
  }
  if (ready < 0)
    return -1;
  for (std::size_t i = 0; i < fds.size(); ++i) {
    const short got = fds[i].revents;
    requests[i].readable = (got & POLLIN) != 0;
    requests[i].writable = (got & POLLOUT) != 0;
    requests[i].error = (got & POLLERR) != 0;
    requests[i].hangUp = (got & POLLHUP) != 0;
    requests[i].invalid = (got & POLLNVAL) != 0;
  }
  return ready;
}

std::uint32_t parse_ipv4(const char* text) { return ::inet_addr(text); }

Resolved resolve_ipv4(const char* name, std::vector<std::uint32_t>& addresses,
                      std::string& canonical) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  switch (::getaddrinfo(name, nullptr, &hints, &found)) {
  case 0: break;
  case EAI_AGAIN: return Resolved::TryAgain;
  case EAI_FAIL: return Resolved::NoRecovery;
  case EAI_NODATA:
  case EAI_ADDRFAMILY: return Resolved::NoData;
  case EAI_MEMORY: errno = ENOMEM; return Resolved::SystemError;
  case EAI_SYSTEM: return Resolved::SystemError;
  default: return Resolved::NotFound;
  }
  canonical = found->ai_canonname != nullptr ? found->ai_canonname : name;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET)
      continue;
    const std::uint32_t address =
        reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
    bool seen = false;
    for (std::uint32_t known : addresses)
      seen = seen || known == address;
    if (!seen)
      addresses.push_back(address);
  }
  ::freeaddrinfo(found);
  return addresses.empty() ? Resolved::NoData : Resolved::Found;
}

} // namespace platform::bsd
