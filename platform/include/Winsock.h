// Windows Sockets as the update check uses it: the calls of version 1.1 for one IPv4 TCP
// connection (WSAStartup, socket, inet_addr, gethostbyname, htons, connect, send, recv,
// closesocket), and what waiting with a time-out needs: the non-blocking mode of ioctlsocket,
// getsockopt for SO_ERROR, and WSAPoll.
//
// This layer implements just enough of Windows Sockets for this project, over BSD sockets. Error
// codes are Windows Sockets' own (WSAGetLastError, which shares its slot with GetLastError, as on
// Windows). Whatever is not implemented (other address families, socket types, flags, options
// and control codes) fails with an error code, never with a pretended success. Signals never
// interrupt a call, and a send to a closed connection fails with WSAECONNRESET or WSAESHUTDOWN
// instead of raising SIGPIPE.
#pragma once

#include "Win32.h"

using SOCKET = std::uintptr_t;
using u_short = unsigned short;
// Windows' u_long has 32 bits; the system's own u_long (64 bits) keeps the name here, so the
// calls that take one use DWORD.

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr DWORD INADDR_NONE = 0xffffffff;

// Windows Sockets error codes, with their Windows values.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct in_addr {
  DWORD s_addr; // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  short sin_family;
  u_short sin_port; // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list; // each entry points to h_length bytes of address, null-terminated list
};

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;
struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

constexpr WORD MAKEWORD(BYTE low, BYTE high) { return static_cast<WORD>(low | (high << 8)); }

// Starts Windows Sockets for the process. Versions 1.1 and above are accepted and answered with
// 1.1, the version implemented; anything lower gives WSAVERNOTSUPPORTED. Returns 0 or the error
// code itself (not through WSAGetLastError). Every socket call before the first successful start
// fails with WSANOTINITIALISED.
int WSAStartup(WORD versionRequested, LPWSADATA data);
int WSAGetLastError();
void WSASetLastError(int error);

// A new blocking TCP socket (AF_INET, SOCK_STREAM, IPPROTO_TCP or 0), not inherited by started
// programs. Returns INVALID_SOCKET on failure.
SOCKET socket(int af, int type, int protocol);
// Closes the socket. Returns 0, or SOCKET_ERROR (WSAENOTSOCK for anything but an open socket).
int closesocket(SOCKET s);

// The IPv4 address of a dotted text ("127.0.0.1"; the shorter forms "a.b.c", "a.b" and "a" as
// well) in network byte order; INADDR_NONE when the text is no address.
DWORD inet_addr(const char* text);
// The IPv4 addresses of a host name, from the system's resolver, in storage that the next call
// on the same thread reuses; null with WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY or
// WSANO_DATA. A name holding characters that no host name has (blanks, ":", "/") is refused at
// once with WSAHOST_NOT_FOUND. The resolver's own time-outs bound how long the call blocks.
hostent* gethostbyname(const char* name);
u_short htons(u_short value);

// Connects to an AF_INET address. Returns 0 or SOCKET_ERROR. On a non-blocking socket the
// connection goes on in the background: SOCKET_ERROR with WSAEWOULDBLOCK, and the socket becomes
// writable when it is done, with its outcome in SO_ERROR.
int connect(SOCKET s, const sockaddr* name, int nameLength);
// Sends up to `length` bytes (flags must be 0). Returns the number sent, which may be fewer, or
// SOCKET_ERROR (WSAEWOULDBLOCK when a non-blocking socket has no room now).
int send(SOCKET s, const char* buffer, int length, int flags);
// Receives up to `length` bytes (flags must be 0). Returns the number received, 0 when the peer
// closed the connection, or SOCKET_ERROR (WSAEWOULDBLOCK when a non-blocking socket has nothing
// now).
int recv(SOCKET s, char* buffer, int length, int flags);

// ioctlsocket: only FIONBIO (argument non-zero: non-blocking) is implemented; other commands
// fail with WSAEINVAL. Returns 0 or SOCKET_ERROR.
constexpr long FIONBIO = static_cast<long>(0x8004667eU);
int ioctlsocket(SOCKET s, long command, DWORD* argument);

// getsockopt: only SOL_SOCKET / SO_ERROR is implemented (an int: the pending error as a Windows
// Sockets code, 0 when none, cleared by reading it); others fail with WSAENOPROTOOPT.
constexpr int SOL_SOCKET = 0xffff;
constexpr int SO_ERROR = 0x1007;
int getsockopt(SOCKET s, int level, int name, char* value, int* length);

// WSAPoll: waits up to `timeoutMs` (negative: without limit) until one of the sockets is ready
// for what its `events` ask (POLLRDNORM, POLLWRNORM). Returns the number of sockets with
// `revents` set, 0 when the time ran out, or SOCKET_ERROR. POLLERR, POLLHUP and POLLNVAL are
// reported without being asked for.
constexpr short POLLERR = 0x0001;
constexpr short POLLHUP = 0x0002;
constexpr short POLLNVAL = 0x0004;
constexpr short POLLWRNORM = 0x0010;
constexpr short POLLRDNORM = 0x0100;
struct WSAPOLLFD {
  SOCKET fd;
  short events;
  short revents;
};
int WSAPoll(WSAPOLLFD* sockets, unsigned int count, int timeoutMs);
