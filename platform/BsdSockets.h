// The BSD socket calls under Winsock.cpp, with plain types: the system's socket headers and the
// Winsock-shaped ones declare the same names, so they never meet in one file. Every call
// retries EINTR and reports a failure as -1 with errno set, unless it says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::bsd {

// A new IPv4 TCP socket, closed on exec. Returns the descriptor or -1.
int open_tcp_socket();
// Whether `fd` is an open socket.
bool is_socket(int fd);
int close_socket(int fd);
int set_non_blocking(int fd, bool nonBlocking);

// Both in network byte order. A connection that goes on in the background fails with
// EINPROGRESS.
int connect_ipv4(int fd, std::uint32_t address, std::uint16_t port);
// Never raises SIGPIPE. Returns the number of bytes moved or -1.
long send_bytes(int fd, const void* buffer, std::size_t length);
long receive_bytes(int fd, void* buffer, std::size_t length);
// The socket's pending error (0 when none), cleared by reading it; -1 when it cannot be read.
int take_pending_error(int fd, int& error);

struct PollRequest {
  int fd;
  bool read, write;        // what to wait for
  bool readable, writable; // what is ready
  bool error, hangUp, invalid;
};
// Waits up to `timeoutMs` (negative: no limit). Returns how many descriptors have something to
// report, 0 on time-out, -1 on failure. An interrupted wait goes on for the time left.
int poll_sockets(std::vector<PollRequest>& requests, int timeoutMs);

// inet_addr of the C library: network byte order, 0xffffffff when `text` is no address.
std::uint32_t parse_ipv4(const char* text);
// How a name look-up ended. SystemError leaves errno set.
enum class Resolved { Found, NotFound, TryAgain, NoRecovery, NoData, SystemError };
// The IPv4 addresses of `name` (network byte order, without repeats) and its canonical name.
Resolved resolve_ipv4(const char* name, std::vector<std::uint32_t>& addresses,
                      std::string& canonical);

} // namespace platform::bsd
