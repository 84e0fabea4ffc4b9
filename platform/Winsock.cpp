// Windows Sockets over the BSD socket calls of BsdSockets.cpp (see Winsock.h for how far it
// goes). A SOCKET is the socket's descriptor.
#include "Winsock.h"

#include "BsdSockets.h"
#include "Errno.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::atomic<bool> started{false};

int fail(int code) {
  WSASetLastError(code);
  return SOCKET_ERROR;
}

int fail_from_errno() { return fail(platform::wsa_error_from_errno(errno)); }

SOCKET no_socket(int code) {
  fail(code);
  return INVALID_SOCKET;
}

hostent* no_host(int code) {
  fail(code);
  return nullptr;
}

// The descriptor of a socket that may be used now, or -1 after setting the error.
int usable(SOCKET s) {
  if (!started) {
    WSASetLastError(WSANOTINITIALISED);
    return -1;
  }
  const int fd = s <= SOCKET(INT_MAX) ? static_cast<int>(s) : -1;
  if (!platform::bsd::is_socket(fd)) {
    WSASetLastError(WSAENOTSOCK);
    return -1;
  }
  return fd;
}

// What gethostbyname hands out, per thread, as Windows does.
struct HostEntry {
  std::string name;
  std::vector<DWORD> addresses;
  std::vector<char*> addressList;
  char* aliases[1] = {nullptr};
  hostent entry{};
};

} // namespace

int WSAStartup(WORD versionRequested, LPWSADATA data) {
  const int major = versionRequested & 0xff;
  const int minor = versionRequested >> 8;
  if (major < 1 || (major == 1 && minor < 1))
    return WSAVERNOTSUPPORTED;
  if (data == nullptr)
    return WSAEFAULT;
  *data = WSADATA{};
  data->wVersion = MAKEWORD(1, 1);
  data->wHighVersion = MAKEWORD(1, 1);
  std::strcpy(data->szDescription, "Windows Sockets over BSD sockets");
  std::strcpy(data->szSystemStatus, "Running");
  data->iMaxSockets = 1024;
  data->iMaxUdpDg = 0;
  started = true;
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }

void WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

SOCKET socket(int af, int type, int protocol) {
  if (!started)
    return no_socket(WSANOTINITIALISED);
  if (af != AF_INET)
    return no_socket(WSAEAFNOSUPPORT);
  if (type != SOCK_STREAM)
    return no_socket(WSAESOCKTNOSUPPORT);
  if (protocol != IPPROTO_TCP && protocol != 0)
    return no_socket(WSAEPROTONOSUPPORT);
  const int fd = platform::bsd::open_tcp_socket();
  if (fd < 0)
    return no_socket(platform::wsa_error_from_errno(errno));
  return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
  const int fd = usable(s);
  if (fd < 0)
    return SOCKET_ERROR;
  return platform::bsd::close_socket(fd) == 0 ? 0 : fail_from_errno();
}

DWORD inet_addr(const char* text) {
  if (text == nullptr || *text == '\0')
    return INADDR_NONE;
  return platform::bsd::parse_ipv4(text);
}

hostent* gethostbyname(const char* name) {
  if (!started)
    return no_host(WSANOTINITIALISED);
  if (name == nullptr)
    return no_host(WSAEFAULT);
  const std::size_t length = std::strlen(name);
  if (length == 0 || length > 255 ||
      std::strspn(name, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._") !=
          length)
    return no_host(WSAHOST_NOT_FOUND);
  thread_local HostEntry host;
  host.addresses.clear();
  std::vector<std::uint32_t> found;
  switch (platform::bsd::resolve_ipv4(name, found, host.name)) {
  case platform::bsd::Resolved::Found: break;
  case platform::bsd::Resolved::NotFound: return no_host(WSAHOST_NOT_FOUND);
  case platform::bsd::Resolved::TryAgain: return no_host(WSATRY_AGAIN);
  case platform::bsd::Resolved::NoRecovery: return no_host(WSANO_RECOVERY);
  case platform::bsd::Resolved::NoData: return no_host(WSANO_DATA);
  case platform::bsd::Resolved::SystemError: return no_host(platform::wsa_error_from_errno(errno));
  }
  host.addresses.assign(found.begin(), found.end());
  host.addressList.clear();
  for (DWORD& address : host.addresses)
    host.addressList.push_back(reinterpret_cast<char*>(&address));
  host.addressList.push_back(nullptr);
  host.entry.h_name = host.name.data();
  host.entry.h_aliases = host.aliases;
  host.entry.h_addrtype = AF_INET;
  host.entry.h_length = sizeof(DWORD);
  host.entry.h_addr_list = host.addressList.data();
  return &host.entry;
}

u_short htons(u_short value) {
  const std::uint16_t probe = 1;
  if (*reinterpret_cast<const unsigned char*>(&probe) == 0)
    return value; // big-endian already
  return static_cast<u_short>(((value & 0xff) << 8) | (value >> 8));
}

int connect(SOCKET s, const sockaddr* name, int nameLength) {
  const int fd = usable(s);
  if (fd < 0)
    return SOCKET_ERROR;
  if (name == nullptr || nameLength < static_cast<int>(sizeof(sockaddr_in)))
    return fail(WSAEFAULT);
  sockaddr_in target;
  std::memcpy(&target, name, sizeof target);
  if (target.sin_family != AF_INET)
    return fail(WSAEAFNOSUPPORT);
  if (platform::bsd::connect_ipv4(fd, target.sin_addr.s_addr, target.sin_port) == 0)
    return 0;
  return fail_from_errno();
}

namespace {

// The descriptor for a send or receive of `length` bytes at `buffer`, or -1 after setting the
// error.
int transfer_fd(SOCKET s, const void* buffer, int length, int flags) {
  const int fd = usable(s);
  if (fd < 0)
    return -1;
  if (flags != 0)
    return fail(WSAEOPNOTSUPP);
  if (length < 0 || (buffer == nullptr && length > 0))
    return fail(WSAEFAULT);
  return fd;
}

} // namespace

int send(SOCKET s, const char* buffer, int length, int flags) {
  const int fd = transfer_fd(s, buffer, length, flags);
  if (fd < 0)
    return SOCKET_ERROR;
  const long sent = platform::bsd::send_bytes(fd, buffer, static_cast<std::size_t>(length));
  return sent >= 0 ? static_cast<int>(sent) : fail_from_errno();
}

int recv(SOCKET s, char* buffer, int length, int flags) {
  const int fd = transfer_fd(s, buffer, length, flags);
  if (fd < 0)
    return SOCKET_ERROR;
  const long received = platform::bsd::receive_bytes(fd, buffer, static_cast<std::size_t>(length));
  return received >= 0 ? static_cast<int>(received) : fail_from_errno();
}

int ioctlsocket(SOCKET s, long command, DWORD* argument) {
  const int fd = usable(s);
  if (fd < 0)
    return SOCKET_ERROR;
  if (command != FIONBIO)
    return fail(WSAEINVAL);
  if (argument == nullptr)
    return fail(WSAEFAULT);
  return platform::bsd::set_non_blocking(fd, *argument != 0) == 0 ? 0 : fail_from_errno();
}

int getsockopt(SOCKET s, int level, int name, char* value, int* length) {
  const int fd = usable(s);
  if (fd < 0)
    return SOCKET_ERROR;
  if (level != SOL_SOCKET || name != SO_ERROR)
    return fail(WSAENOPROTOOPT);
  if (value == nullptr || length == nullptr || *length < static_cast<int>(sizeof(int)))
    return fail(WSAEFAULT);
  int error = 0;
  if (platform::bsd::take_pending_error(fd, error) != 0)
    return fail_from_errno();
  const int code = platform::wsa_error_from_errno(error);
  std::memcpy(value, &code, sizeof code);
  *length = sizeof code;
  return 0;
}

int WSAPoll(WSAPOLLFD* sockets, unsigned int count, int timeoutMs) {
  if (!started)
    return fail(WSANOTINITIALISED);
  if (sockets == nullptr || count == 0)
    return fail(WSAEINVAL);
  std::vector<platform::bsd::PollRequest> requests;
  for (unsigned int i = 0; i < count; ++i) {
    WSAPOLLFD& entry = sockets[i];
    if ((entry.events & ~(POLLRDNORM | POLLWRNORM)) != 0)
      return fail(WSAEINVAL);
    const int fd = entry.fd <= SOCKET(INT_MAX) ? static_cast<int>(entry.fd) : -1;
    requests.push_back({fd, (entry.events & POLLRDNORM) != 0, (entry.events & POLLWRNORM) != 0,
                        false, false, false, false, false});
  }
  const int ready = platform::bsd::poll_sockets(requests, timeoutMs);
  if (ready < 0)
    return fail_from_errno();
  for (unsigned int i = 0; i < count; ++i) {
    const platform::bsd::PollRequest& got = requests[i];
    sockets[i].revents = static_cast<short>(
        (got.readable ? POLLRDNORM : 0) | (got.writable ? POLLWRNORM : 0) |
        (got.error ? POLLERR : 0) | (got.hangUp ? POLLHUP : 0) | (got.invalid ? POLLNVAL : 0));
  }
  return ready;
}
