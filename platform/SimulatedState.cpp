#include "SimulatedState.h"

#include "ConfigValue.h"
#include "Errno.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// Closes the descriptor (and so drops its lock) when it goes.
class LockedFile {
public:
  LockedFile(const std::string& path, bool change) {
    fd = ::open(path.c_str(), change ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0644);
    if (fd < 0)
      return;
    while (flock(fd, change ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        ::close(fd);
        fd = -1;
        errno = error;
        return;
      }
    }
  }
  ~LockedFile() {
    if (fd >= 0)
      ::close(fd);
  }
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  int fd = -1;
};

bool alive(long pid) {
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool read_all(int fd, std::string& text) {
  text.clear();
  char chunk[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      return true;
    text.append(chunk, static_cast<std::size_t>(n));
    at += n;
  }
}

bool write_all(int fd, const std::string& text) {
  if (ftruncate(fd, 0) != 0)
    return false;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void read_claims(const config::Value& state, const char* name,
                 std::vector<SimulatedState::Claim>& out) {
  if (!state.has(name) || state.get(name).type() != config::Value::List)
    return;
  for (const config::Value& item : state.get(name).as_list()) {
    if (item.type() != config::Value::Object)
      continue;
    SimulatedState::Claim claim;
    long long pid = 0;
    unsigned long long token = 0;
    if (!item.get("volume", claim.volume) || !item.get("pid", pid) || !item.get("token", token))
      continue;
    claim.pid = static_cast<long>(pid);
    claim.token = token;
    if (alive(claim.pid))
      out.push_back(claim);
  }
}

config::Value claims_value(const std::vector<SimulatedState::Claim>& claims) {
  config::Value list(config::Value::List);
  for (const SimulatedState::Claim& claim : claims) {
    config::Value item(config::Value::Object);
    item.set("volume", claim.volume);
    item.set("pid", static_cast<long long>(claim.pid));
    item.set("token", static_cast<unsigned long long>(claim.token));
    list.as_list().push_back(item);
  }
  return list;
}

bool parse_state(const std::string& text, SimulatedState::Snapshot& snapshot) {
  snapshot = SimulatedState::Snapshot();
  if (text.empty())
    return true;
  config::Value state;
  if (!state.parse(text.c_str()) || state.type() != config::Value::Object) {
    errno = EINVAL;
    return false;
  }
  state.get("deleted letters", snapshot.deletedLetters);
  read_claims(state, "locks", snapshot.locks);
  read_claims(state, "dismounted", snapshot.dismounts);
  return true;
}

} // namespace

bool SimulatedState::read(Snapshot& snapshot) const {
  LockedFile file(path, false);
  if (file.fd < 0) {
    if (errno == ENOENT) {
      snapshot = Snapshot();
      return true;
    }
    set_last_error_from_errno(errno);
    return false;
  }
  std::string text;
  if (!read_all(file.fd, text) || !parse_state(text, snapshot)) {
    set_last_error_from_errno(errno);
    return false;
  }
  return true;
}

bool SimulatedState::update(const std::function<bool(Snapshot&)>& change) const {
  LockedFile file(path, true);
  std::string text;
  Snapshot snapshot;
  if (file.fd < 0 || !read_all(file.fd, text) || !parse_state(text, snapshot)) {
    set_last_error_from_errno(errno);
    return false;
  }
  if (!change(snapshot))
    return false;
  config::Value state(config::Value::Object);
  state.set("deleted letters", snapshot.deletedLetters);
  state["locks"] = claims_value(snapshot.locks);
  state["dismounted"] = claims_value(snapshot.dismounts);
  if (!write_all(file.fd,
                 state.to_string(config::Braces::Omitted, config::Layout::Indented) + "\n")) {
    set_last_error_from_errno(errno);
    return false;
  }
  return true;
}

} // namespace platform
