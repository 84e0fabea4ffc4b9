#include "Update.h"

#include "DebugLog.h"
#include "Strings.h"
#include "Winsock.h"

#include <glib.h>

#include <algorithm>
#include <ostream>
#include <vector>

namespace {

constexpr int slice_ms = 100;     // how long a wait goes between two checks
constexpr int block_size = 65536; // the most one receive asks for

// Owns one socket and closes it on every way out.
class Socket {
public:
  explicit Socket(SOCKET s) : s(s) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (s != INVALID_SOCKET)
      closesocket(s);
  }
  SOCKET get() const { return s; }

private:
  SOCKET s;
};

// Where an address leads: the host part as written (for the request's "Host" line), the name
// or dotted address to connect to, the port, and the path.
struct Target {
  std::string host;
  std::string name;
  u_short port = 80;
  std::string path;
};

// "http://" is dropped (only in lower case); the host part runs to the first "/" and the path
// from there, "/" when there is none. A host part ending in ":" and a port number (1 to 65535)
// names that port; otherwise the whole host part is the name and the port is 80.
Target target_of(const std::string& address) {
  const std::string scheme = "http://";
  const std::string rest =
      address.compare(0, scheme.size(), scheme) == 0 ? address.substr(scheme.size()) : address;
  Target target;
  const std::size_t slash = rest.find('/');
  target.host = rest.substr(0, slash);
  target.path = slash == std::string::npos ? "/" : rest.substr(slash);
  target.name = target.host;
  const std::size_t colon = target.host.rfind(':');
  if (colon != std::string::npos) {
    const std::string digits = target.host.substr(colon + 1);
    if (!digits.empty() && digits.size() <= 5 &&
        digits.find_first_not_of("0123456789") == std::string::npos) {
      const unsigned long port = std::stoul(digits);
      if (port >= 1 && port <= 65535) {
        target.name = target.host.substr(0, colon);
        target.port = static_cast<u_short>(port);
      }
    }
  }
  return target;
}

// Blanks and control characters would end the request line or start a header of their own.
bool fits_in_request(const std::string& address) {
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7f;
  });
}

// A text from the network, fit for one line of the debug log.
std::string printable(const std::string& text) {
  std::string shown = text.substr(0, 200);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      c = '.';
  return shown;
}

// Only a complete "200" status of HTTP/1.0 or 1.1 is a response whose body is what was asked
// for.
bool status_is_ok(const std::string& header) {
  const std::string line = header.substr(0, header.find("\r\n"));
  for (const char* ok : {"HTTP/1.0 200", "HTTP/1.1 200"}) {
    const std::string prefix(ok);
    if (line.compare(0, prefix.size(), prefix) == 0 &&
        (line.size() == prefix.size() || line[prefix.size()] == ' '))
      return true;
  }
  return false;
}

enum class Wait { Ready, TimedOut, Failed };

// Waits until `s` is ready for `events`, in slices with a check before each, at most
// `timeoutMs` in all. A time-out leaves WSAETIMEDOUT as the last error.
Wait wait_for(UsesInterfaceCallback& watcher, SOCKET s, short events, int timeoutMs) {
  const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
  for (;;) {
    watcher.check();
    const gint64 left = (deadline - g_get_monotonic_time()) / 1000;
    if (left <= 0) {
      WSASetLastError(WSAETIMEDOUT);
      return Wait::TimedOut;
    }
    WSAPOLLFD entry{s, events, 0};
    const int ready = WSAPoll(&entry, 1, static_cast<int>(std::min<gint64>(left, slice_ms)));
    if (ready == SOCKET_ERROR)
      return Wait::Failed;
    if (ready > 0)
      return Wait::Ready; // errors and hang-ups show in the call that follows
  }
}

// The outcome of a connection attempt on a non-blocking socket. Returns false with the last
// error set when it failed.
bool connect_within(UsesInterfaceCallback& watcher, SOCKET s, const sockaddr_in& address,
                    int timeoutMs) {
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK ||
      wait_for(watcher, s, POLLWRNORM, timeoutMs) != Wait::Ready)
    return false;
  int error = 0;
  int size = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
    return false;
  WSASetLastError(error);
  return error == 0;
}

// Sends all of `request`. Returns false with the last error set when it cannot.
bool send_all(UsesInterfaceCallback& watcher, SOCKET s, const std::string& request, int timeoutMs) {
  std::size_t sent = 0;
  while (sent < request.size()) {
    watcher.check();
    const int n = send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
               wait_for(watcher, s, POLLWRNORM, timeoutMs) != Wait::Ready) {
      return false;
    }
  }
  return true;
}

// Receives the next block into `buffer`: its size, 0 when the peer closed the connection, or
// SOCKET_ERROR with the last error set (WSAETIMEDOUT after timeoutMs without a byte).
int receive(UsesInterfaceCallback& watcher, SOCKET s, std::vector<char>& buffer, int timeoutMs) {
  for (;;) {
    const Wait ready = wait_for(watcher, s, POLLRDNORM, timeoutMs);
    if (ready != Wait::Ready)
      return SOCKET_ERROR;
    const int n = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (n != SOCKET_ERROR || WSAGetLastError() != WSAEWOULDBLOCK)
      return n;
  }
}

// Hands body bytes to the stream, never more than the body may hold.
class BodyWriter {
public:
  BodyWriter(Update::Stream& stream, Update::Body body) : stream(stream), body(body) {}

  // Writes the bytes that fit. Returns false, with a debug-log line, when the stream refuses
  // them (`refused` names the place) or some did not fit.
  bool write(const char* bytes, std::size_t count, const char* refused) {
    const std::uint64_t room = body.limit - written;
    const std::size_t taken = count > room ? static_cast<std::size_t>(room) : count;
    if ((taken > 0 || count == 0) && !stream.write(bytes, taken)) {
      debug_log() << refused << "\n";
      return false;
    }
    written += taken;
    if (taken < count) {
      debug_log() << "Update.cpp(166): " << body.limit << "\n";
      return false;
    }
    return true;
  }
  // At the end of the body: false, with a debug-log line, when bytes are missing.
  bool complete() const {
    if (!body.exact || written == body.limit)
      return true;
    debug_log() << "Update.cpp(168): " << written << " " << body.limit << "\n";
    return false;
  }

private:
  Update::Stream& stream;
  Update::Body body;
  std::uint64_t written = 0;
};

// What strtoul gives on a system whose unsigned long has 32 bits.
std::uint32_t strtoul32(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
    ++text;
  bool negative = false;
  if (*text == '+' || *text == '-')
    negative = *text++ == '-';
  std::uint64_t value = 0;
  bool overflow = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    overflow = overflow || value > 0xffffffffULL;
    if (overflow)
      value = 0xffffffffULL;
  }
  if (overflow)
    return 0xffffffffU;
  const auto magnitude = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0U - magnitude) : magnitude;
}

} // namespace

std::size_t find_attribute(const std::string& text, std::size_t from, const std::string& name,
                           std::string& value) {
  const std::string pattern = name + "=\"";
  const std::size_t found = from <= text.size() ? text.find(pattern, from) : std::string::npos;
  if (found == std::string::npos) {
    debug_log() << "Update.cpp(25)\n";
    return std::string::npos;
  }
  const std::size_t begin = found + pattern.size();
  const std::size_t end = text.find('"', begin);
  if (end == std::string::npos) {
    debug_log() << "Update.cpp(31)\n";
    return std::string::npos;
  }
  value = text.substr(begin, end - begin);
  return end;
}

bool Update::start_sockets() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    debug_log() << "Update.cpp(81)\n";
    return false;
  }
  return true;
}

bool Update::fetch(const std::string& address, Stream& stream, Body body) {
  if (!fits_in_request(address)) {
    debug_log() << "Update.cpp(103): " << printable(address) << "\n";
    return false;
  }
  const Target target = target_of(address);
  Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (socket.get() == INVALID_SOCKET) {
    debug_log() << "Update.cpp(105): " << last_error_text() << "\n";
    debug_log() << "Update.cpp(107)\n";
    return false;
  }

  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(target.port);
  server.sin_addr.s_addr = inet_addr(target.name.c_str());
  if (server.sin_addr.s_addr == INADDR_NONE) {
    check();
    const hostent* host = gethostbyname(target.name.c_str());
    if (host == nullptr || host->h_addr_list[0] == nullptr) {
      debug_log() << "Update.cpp(117): " << target.name << ": " << last_error_text() << "\n";
      debug_log() << "Update.cpp(119)\n";
      return false;
    }
    std::copy_n(host->h_addr_list[0], sizeof server.sin_addr.s_addr,
                reinterpret_cast<char*>(&server.sin_addr.s_addr));
  }

  check();
  DWORD nonBlocking = 1;
  if (ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0 ||
      !connect_within(*this, socket.get(), server, wait_limit_ms())) {
    debug_log() << "Update.cpp(124): " << target.name << " port " << target.port << ": "
                << last_error_text() << "\n";
    debug_log() << "Update.cpp(126)\n";
    return false;
  }

  const std::string request =
      "GET " + target.path + " HTTP/1.0\r\n" + "Host: " + target.host + "\r\n\r\n";
  if (!send_all(*this, socket.get(), request, wait_limit_ms())) {
    debug_log() << "Update.cpp(137): " << last_error_text() << "\n";
    debug_log() << "Update.cpp(139)\n";
    return false;
  }

  std::vector<char> buffer(block_size);
  BodyWriter writer(stream, body);
  std::string header;
  for (bool inHeader = true;;) {
    const int limit = wait_limit_ms();
    const int n = receive(*this, socket.get(), buffer, limit);
    if (n == SOCKET_ERROR) {
      const bool timedOut = WSAGetLastError() == WSAETIMEDOUT;
      debug_log() << "Update.cpp(157): " << last_error_text() << "\n";
      // The wait was cut short by the deadline of the whole check.
      if (timedOut && limit < timeoutMs_)
        debug_log() << "Update.cpp(159): " << checkLimitMs_ << "\n";
      return false;
    }
    if (n == 0 && inHeader) {
      debug_log() << "Update.cpp(149): " << header.size() << "\n";
      return false;
    }
    if (n == 0)
      return writer.complete();
    check();
    const char* bytes = buffer.data();
    const auto count = static_cast<std::size_t>(n);
    if (inHeader) {
      const std::size_t searchFrom = header.size() > 3 ? header.size() - 3 : 0;
      header.append(bytes, count);
      const std::size_t blank = header.find("\r\n\r\n", searchFrom);
      const std::size_t end = blank == std::string::npos ? header.size() : blank + 4;
      if (end > header_limit) {
        debug_log() << "Update.cpp(147): " << header_limit << "\n";
        return false;
      }
      if (blank == std::string::npos)
        continue;
      if (!status_is_ok(header)) {
        debug_log() << "Update.cpp(145): " << printable(header.substr(0, header.find("\r\n")))
                    << "\n";
        return false;
      }
      inHeader = false;
      if (!writer.write(header.data() + end, header.size() - end, "Update.cpp(153)"))
        return false;
    } else if (!writer.write(bytes, count, "Update.cpp(162)")) {
      return false;
    }
  }
}

int Update::wait_limit_ms() const {
  if (deadline_ == 0)
    return timeoutMs_;
  // Rounded up, so that a wait that times out ends at the deadline, not just before it.
  const gint64 left = (deadline_ - g_get_monotonic_time() + 999) / 1000;
  return static_cast<int>(std::clamp<gint64>(left, 0, timeoutMs_));
}

bool Update::check(const std::string& address, UpdateInfo& info) {
  StreamString feed;
  // A server that sends a byte now and then never lets a wait time out: the whole check has a
  // deadline of its own. It ends with the check also when a cancel throws out of it, so that a
  // later fetch has none.
  struct Deadline {
    gint64& at;
    ~Deadline() { at = 0; }
  } deadline{deadline_};
  deadline_ = g_get_monotonic_time() + gint64(checkLimitMs_) * 1000;
  if (!fetch(address, feed, Body::at_most(feed_limit))) {
    debug_log() << "Update.cpp(219)\n";
    return false;
  }
  if (!parse_feed(feed.text, info)) {
    debug_log() << "Update.cpp(223)\n";
    return false;
  }
  return true;
}

bool Update::parse_feed(const std::string& feed, UpdateInfo& info) {
  const std::string tag = "<enclosure";
  std::size_t at = feed.find(tag);
  if (at == std::string::npos) {
    debug_log() << "Update.cpp(233)\n";
    return false;
  }
  at += tag.size();
  std::string value;
  if ((at = find_attribute(feed, at, "version", value)) == std::string::npos) {
    debug_log() << "Update.cpp(240)\n";
    return false;
  }
  info.set_version(value);
  if ((at = find_attribute(feed, at, "url", value)) == std::string::npos) {
    debug_log() << "Update.cpp(246)\n";
    return false;
  }
  info.set_url(value);
  if ((at = find_attribute(feed, at, "length", value)) == std::string::npos) {
    debug_log() << "Update.cpp(252)\n";
    return false;
  }
  info.set_length(strtoul32(value.c_str()));
  if ((at = find_attribute(feed, at, "releaseNotesUrl", value)) == std::string::npos) {
    debug_log() << "Update.cpp(258)\n";
    return false;
  }
  info.set_release_notes_url(value);
  return true;
}

std::string update_file_name(const std::string& url) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  const std::size_t separator = path.find_last_of("/\\");
  const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const bool control = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  if (name.empty() || name == "." || name == ".." || control)
    return std::string();
  return name;
}

bool is_web_address(const std::string& address) {
  for (const char* scheme : {"http://", "https://"}) {
    const std::size_t length = std::char_traits<char>::length(scheme);
    if (address.size() > length && g_ascii_strncasecmp(address.c_str(), scheme, length) == 0)
      return true;
  }
  return false;
}
