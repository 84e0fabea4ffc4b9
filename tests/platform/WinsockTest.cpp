// Windows Sockets over BSD sockets, against a peer made with the system's own calls.
#include "Winsock.h"

#include "SocketPeer.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

sockaddr_in loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  return address;
}

int connect_to(SOCKET s, const sockaddr_in& address) {
  return connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::string message_of(int code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = text != nullptr ? text : "";
  LocalFree(text);
  return message;
}

class WinsockTest : public ::testing::Test {
protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  }
};

} // namespace

TEST(WinsockStart, OnlyVersionsFromOneOneStart) {
  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 0), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 2), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), nullptr), WSAEFAULT);
  for (const WORD version : {MAKEWORD(1, 1), MAKEWORD(2, 2)}) {
    data = WSADATA{};
    EXPECT_EQ(WSAStartup(version, &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  }
}

TEST_F(WinsockTest, AddressesAndByteOrder) {
  const struct {
    const char* text;
    unsigned char bytes[4]; // in memory, network order
    bool none;
  } cases[] = {
      {"127.0.0.1", {127, 0, 0, 1}, false},
      {"10.1", {10, 0, 0, 1}, false},
      {"192.168.300", {192, 168, 1, 44}, false},
      {"256.1.1.1", {}, true},
      {"255.255.255.255", {}, true}, // indistinguishable from the failure, as on Windows
      {"", {}, true},
      {"example.com", {}, true},
      {"127.0.0.1:80", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const DWORD address = inet_addr(c.text);
    if (c.none) {
      EXPECT_EQ(address, INADDR_NONE);
    } else {
      EXPECT_EQ(std::memcmp(&address, c.bytes, 4), 0);
    }
  }
  const u_short port = htons(0x1f90);
  const unsigned char portBytes[2] = {0x1f, 0x90};
  EXPECT_EQ(std::memcmp(&port, portBytes, 2), 0);
}

TEST_F(WinsockTest, HostNamesAreLookedUp) {
  const hostent* host = gethostbyname("localhost");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->h_addrtype, AF_INET);
  EXPECT_EQ(host->h_length, 4);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  const unsigned char loopbackBytes[4] = {127, 0, 0, 1};
  EXPECT_EQ(std::memcmp(host->h_addr_list[0], loopbackBytes, 4), 0);

  for (const char* name : {"HTTP:", "no host", "a/b", ""}) {
    SCOPED_TRACE(name);
    WSASetLastError(0);
    EXPECT_EQ(gethostbyname(name), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  }
  EXPECT_EQ(message_of(WSAHOST_NOT_FOUND), "The host is not known.\r\n");
}

TEST_F(WinsockTest, AConnectionCarriesBytesBothWays) {
  SocketPeer peer;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET);
  ASSERT_EQ(connect_to(s, loopback(peer.port())), 0);
  ASSERT_TRUE(peer.accept());

  EXPECT_EQ(send(s, "hello", 5, 0), 5);
  EXPECT_EQ(peer.read(), "hello");

  // Nothing to read yet: a wait times out, a non-blocking receive would block.
  WSAPOLLFD entry{s, POLLRDNORM, 0};
  EXPECT_EQ(WSAPoll(&entry, 1, 50), 0);
  DWORD on = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
  char buffer[16] = {};
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

  ASSERT_TRUE(peer.write("world"));
  peer.close();
  entry.revents = 0;
  EXPECT_EQ(WSAPoll(&entry, 1, 2000), 1);
  EXPECT_NE(entry.revents & POLLRDNORM, 0);
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 5);
  EXPECT_STREQ(buffer, "world");
  EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 0);

  // The peer is gone: sending fails with an error code, without SIGPIPE ending the process.
  int result = 0;
  for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) {
    result = send(s, "more", 4, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockTest, ARefusedConnectionIsReportedBlockingOrNot) {
  const sockaddr_in target = loopback(closed_port());
  const SOCKET blocking = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(connect_to(blocking, target), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  EXPECT_EQ(message_of(WSAECONNREFUSED), "The other side refused the connection.\r\n");
  closesocket(blocking);

  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  DWORD on = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
  ASSERT_EQ(connect_to(s, target), SOCKET_ERROR);
  if (WSAGetLastError() == WSAEWOULDBLOCK) {
    // Under way: the outcome comes with the socket's readiness, in SO_ERROR.
    WSAPOLLFD entry{s, POLLWRNORM, 0};
    EXPECT_EQ(WSAPoll(&entry, 1, 2000), 1);
    int error = 0;
    int size = sizeof error;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size), 0);
    EXPECT_EQ(error, WSAECONNREFUSED);
  } else {
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  }
  closesocket(s);
}

TEST_F(WinsockTest, WhatIsNotImplementedFailsWithAnErrorCode) {
  const struct {
    int af, type, protocol, error;
  } sockets[] = {
      {23, SOCK_STREAM, 0, WSAEAFNOSUPPORT},          // AF_INET6
      {AF_INET, 2, 0, WSAESOCKTNOSUPPORT},            // SOCK_DGRAM
      {AF_INET, SOCK_STREAM, 17, WSAEPROTONOSUPPORT}, // IPPROTO_UDP
  };
  for (const auto& c : sockets) {
    EXPECT_EQ(socket(c.af, c.type, c.protocol), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), c.error);
  }

  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  DWORD argument = 0;
  EXPECT_EQ(ioctlsocket(s, 0x4004667f /* FIONREAD */, &argument), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  int value = 0;
  int size = sizeof value;
  EXPECT_EQ(
      getsockopt(s, SOL_SOCKET, 0x1002 /* SO_RCVBUF */, reinterpret_cast<char*>(&value), &size),
      SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  EXPECT_EQ(send(s, "x", 1, 1 /* MSG_OOB */), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
  WSAPOLLFD entry{s, 0x0200 /* POLLRDBAND */, 0};
  EXPECT_EQ(WSAPoll(&entry, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(closesocket(s), 0);

  // Only sockets are closed by closesocket.
  EXPECT_EQ(closesocket(INVALID_SOCKET), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  const int file = g_open("/dev/null", O_RDONLY, 0);
  EXPECT_EQ(closesocket(static_cast<SOCKET>(file)), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_TRUE(g_close(file, nullptr)); // still open
}
