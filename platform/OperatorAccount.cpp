// The operator who started the program, and the files saved for them. Implements just enough
// for this project: pkexec's PKEXEC_UID names the operator of an elevated program (sudo and
// other ways of starting it as root are not recognised: the program's own user counts then).
#include "Win32Process.h"

#include "DebugLog.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <ostream>
#include <sstream>
#include <vector>

namespace platform {

namespace {

struct User {
  unsigned int gid = 0;
  std::string home;
};

// A user id as a decimal number of the account range; false for anything else.
bool user_id(const char* text, unsigned int& uid) {
  if (text == nullptr || *text < '0' || *text > '9')
    return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value >= std::numeric_limits<unsigned int>::max())
    return false;
  uid = static_cast<unsigned int>(value);
  return true;
}

// The user `uid` in a file of the passwd format (name:password:uid:gid:gecos:home:shell).
bool user_from_file(const char* file, unsigned int uid, User& user) {
  std::ifstream lines(file);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, ':');)
      fields.push_back(field);
    unsigned int id = 0, gid = 0;
    if (fields.size() < 6 || !user_id(fields[2].c_str(), id) || id != uid ||
        !user_id(fields[3].c_str(), gid))
      continue;
    user.gid = gid;
    user.home = fields[5];
    return true;
  }
  return false;
}

bool look_up(unsigned int uid, User& user) {
  if (const char* file = std::getenv("CVW_ACCOUNTS"); file != nullptr && *file != '\0')
    return user_from_file(file, uid, user);
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return false;
  user.gid = found->pw_gid;
  user.home = found->pw_dir != nullptr ? found->pw_dir : "";
  return true;
}

// The real path of the directory open at `fd`; "" when it cannot be told.
std::string path_of(int fd) {
  std::vector<char> path(4096);
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
    return std::string();
  return std::string(path.data(), static_cast<std::size_t>(n));
}

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr)
    return std::string();
  std::string text(resolved);
  std::free(resolved);
  return text;
}

bool inside(const std::string& folder, const std::string& root) {
  if (root.empty() || folder.empty())
    return false;
  if (root == "/")
    return true;
  return folder == root || folder.compare(0, root.size() + 1, root + "/") == 0;
}

class Descriptor {
public:
  explicit Descriptor(int fd) : fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0)
      ::close(fd);
  }
  int get() const { return fd; }

private:
  int fd;
};

} // namespace

OperatorAccount operator_account() {
  OperatorAccount account;
  account.uid = ::getuid();
  account.gid = ::getgid();
  unsigned int asking = 0;
  if (user_id(std::getenv("PKEXEC_UID"), asking) && asking != ::geteuid()) {
    User user;
    account.uid = asking;
    account.elevated = true;
    if (look_up(asking, user)) {
      account.gid = user.gid;
      account.home = user.home;
    }
    return account;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    account.home = home;
    return account;
  }
  User user;
  if (look_up(account.uid, user))
    account.home = user.home;
  return account;
}

bool give_file_to_operator(const std::string& path) {
  const OperatorAccount account = operator_account();
  if (!account.elevated || account.home.empty())
    return true;
  const std::string::size_type slash = path.rfind('/');
  const std::string folderName = slash == std::string::npos ? "."
                                 : slash == 0               ? "/"
                                                            : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // The folder as it is opened, wherever links led: only a file in the operator's own folders
  // is given away.
  const Descriptor folder(::open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0)
    return true;
  if (!inside(path_of(folder.get()), real_path(account.home)))
    return true;
  const Descriptor file(
      ::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  const bool opened = file.get() >= 0 && ::fstat(file.get(), &status) == 0;
  if (!opened && errno != ELOOP) {
    debug_log() << "OperatorAccount.cpp(150): " << path << ": " << std::strerror(errno) << "\n";
    return false;
  }
  // A link, or a file that also has a name elsewhere, is not the operator's to have.
  if (!opened || !S_ISREG(status.st_mode) || status.st_nlink != 1) {
    debug_log() << "OperatorAccount.cpp(155): " << path << " is not a file of its own\n";
    return false;
  }
  if (::fchown(file.get(), account.uid, account.gid) != 0) {
    debug_log() << "OperatorAccount.cpp(159): " << path << ": " << std::strerror(errno) << "\n";
    return false;
  }
  return true;
}

} // namespace platform
