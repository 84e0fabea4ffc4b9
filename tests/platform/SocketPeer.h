// The other end of the connections that the Windows Sockets tests make, written with the
// system's own socket calls (in a file of its own: the system's socket headers and Winsock.h
// declare the same names), so that the layer is checked against something it did not make.
#pragma once

#include <string>

// A socket listening on 127.0.0.1 at a free port.
class SocketPeer {
public:
  SocketPeer();
  ~SocketPeer();
  SocketPeer(const SocketPeer&) = delete;
  SocketPeer& operator=(const SocketPeer&) = delete;

  unsigned short port() const { return port_; }
  // Takes the next connection; false when none comes.
  bool accept();
  // On the connection taken: what arrives in one read (up to 64 bytes), writing, closing.
  std::string read();
  bool write(const std::string& bytes);
  void close();

private:
  int listener = -1;
  int connection = -1;
  unsigned short port_ = 0;
};

// A port on 127.0.0.1 that nobody listens on: bound for a moment, then let go.
unsigned short closed_port();
