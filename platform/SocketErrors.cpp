// Windows Sockets error codes: the one translation from errno, and their texts (this project's
// own wording).
#include "Errno.h"
#include "Winsock.h"

#include <cerrno>

namespace platform {

int wsa_error_from_errno(int error) {
  switch (error) {
  case 0: return 0;
  case EINTR: return WSAEINTR;
  case EBADF: return WSAENOTSOCK;
  case EACCES:
  case EPERM: return WSAEACCES;
  case EFAULT: return WSAEFAULT;
  case EINVAL: return WSAEINVAL;
  case EMFILE:
  case ENFILE: return WSAEMFILE;
  case EAGAIN:
  case EINPROGRESS: return WSAEWOULDBLOCK; // what Windows says of a connection under way
  case EALREADY: return WSAEALREADY;
  case ENOTSOCK: return WSAENOTSOCK;
  case EMSGSIZE: return WSAEMSGSIZE;
  case ENOPROTOOPT: return WSAENOPROTOOPT;
  case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
  case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
  case EOPNOTSUPP: return WSAEOPNOTSUPP;
  case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
  case EADDRINUSE: return WSAEADDRINUSE;
  case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
  case ENETDOWN: return WSAENETDOWN;
  case ENETUNREACH: return WSAENETUNREACH;
  case ENETRESET: return WSAENETRESET;
  case ECONNABORTED: return WSAECONNABORTED;
  case ECONNRESET:
  case EPIPE: return WSAECONNRESET;
  case ENOBUFS:
  case ENOMEM: return WSAENOBUFS;
  case EISCONN: return WSAEISCONN;
  case ENOTCONN: return WSAENOTCONN;
  case ESHUTDOWN: return WSAESHUTDOWN;
  case ETIMEDOUT: return WSAETIMEDOUT;
  case ECONNREFUSED: return WSAECONNREFUSED;
  case EHOSTUNREACH:
  case EHOSTDOWN: return WSAEHOSTUNREACH;
  default: return WSAEINVAL;
  }
}

const char* socket_error_message(DWORD code) {
  switch (static_cast<int>(code)) {
  case WSAEINTR: return "The call was interrupted.";
  case WSAEBADF: return "The handle is not valid.";
  case WSAEACCES: return "Access to the socket is denied.";
  case WSAEFAULT: return "An address given to the socket call is not valid.";
  case WSAEINVAL: return "An argument of the socket call is not valid.";
  case WSAEMFILE: return "Too many sockets are open.";
  case WSAEWOULDBLOCK: return "The socket call cannot complete at once.";
  case WSAEINPROGRESS: return "A blocking operation is under way.";
  case WSAEALREADY: return "An operation is already under way on the socket.";
  case WSAENOTSOCK: return "The handle is not a socket.";
  case WSAEMSGSIZE: return "The message is too long.";
  case WSAENOPROTOOPT: return "The socket option is not supported.";
  case WSAEPROTONOSUPPORT: return "The protocol is not supported.";
  case WSAESOCKTNOSUPPORT: return "The socket type is not supported.";
  case WSAEOPNOTSUPP: return "The operation is not supported on this socket.";
  case WSAEAFNOSUPPORT: return "The address family is not supported.";
  case WSAEADDRINUSE: return "The address is already in use.";
  case WSAEADDRNOTAVAIL: return "The address is not available.";
  case WSAENETDOWN: return "The network is down.";
  case WSAENETUNREACH: return "The network cannot be reached.";
  case WSAENETRESET: return "The network dropped the connection.";
  case WSAECONNABORTED: return "The connection was aborted on this side.";
  case WSAECONNRESET: return "The connection was reset by the other side.";
  case WSAENOBUFS: return "There is no buffer space for the socket call.";
  case WSAEISCONN: return "The socket is already connected.";
  case WSAENOTCONN: return "The socket is not connected.";
  case WSAESHUTDOWN: return "The connection has been shut down.";
  case WSAETIMEDOUT: return "The connection timed out.";
  case WSAECONNREFUSED: return "The other side refused the connection.";
  case WSAEHOSTUNREACH: return "The host cannot be reached.";
  case WSAVERNOTSUPPORTED: return "This version of Windows Sockets is not supported.";
  case WSANOTINITIALISED: return "Windows Sockets has not been started.";
  case WSAHOST_NOT_FOUND: return "The host is not known.";
  case WSATRY_AGAIN: return "The host name could not be looked up now; try again later.";
  case WSANO_RECOVERY: return "The host name look-up failed for good.";
  case WSANO_DATA: return "The host name has no address.";
  default: return nullptr;
  }
}

} // namespace platform
