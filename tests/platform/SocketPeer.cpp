#include "SocketPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// A socket bound to 127.0.0.1 at a free port, and that port.
int bound_socket(unsigned short& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("cannot bind a socket on 127.0.0.1");
  port = ntohs(address.sin_port);
  return fd;
}

} // namespace

SocketPeer::SocketPeer() {
  listener = bound_socket(port_);
  if (::listen(listener, 4) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
}

SocketPeer::~SocketPeer() {
  close();
  ::close(listener);
}

bool SocketPeer::accept() {
  connection = ::accept(listener, nullptr, nullptr);
  return connection >= 0;
}

std::string SocketPeer::read() {
  char buffer[64];
  const ssize_t n = ::read(connection, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool SocketPeer::write(const std::string& bytes) {
  return ::write(connection, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void SocketPeer::close() {
  if (connection >= 0)
    ::close(connection);
  connection = -1;
}

unsigned short closed_port() {
  unsigned short port = 0;
  ::close(bound_socket(port));
  return port;
}
