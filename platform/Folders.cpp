// Files named in a folder opened once, and the guarded walk that finds the folder. Implements just
// enough for this project: ownership and permission bits decide who may change a folder (access
// control lists and capabilities other than root's are not looked at).
#include "Crt.h"

#include "DebugLog.h"
#include "Located.h"
#include "Win32Process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <ostream>
#include <random>
#include <vector>

namespace {

// How many links a walk follows before it takes them for a circle (the system's own limit).
constexpr int most_links = 40;

class Descriptor {
public:
  explicit Descriptor(int fd = -1) : fd(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd = other.fd;
      other.fd = -1;
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }
  int get() const { return fd; }
  int release() {
    const int kept = fd;
    fd = -1;
    return kept;
  }

private:
  void reset() {
    if (fd >= 0) {
      const int error = errno;
      ::close(fd);
      errno = error;
    }
  }
  int fd;
};

// The users whose folders a walk trusts besides root.
class TrustedUsers {
public:
  explicit TrustedUsers(Trust trust) : own(::geteuid()) {
    if (trust == Trust::Operator)
      other = platform::operator_account().uid;
    else
      other = own;
  }
  bool count(uid_t user) const { return user == 0 || user == own || user == other; }

private:
  uid_t own;
  uid_t other;
};

// Whether the folder of `holder` leaves the step to `entry` (null: nothing stands there) to the
// trusted users alone.
bool holds_safely(const struct stat& holder, const struct stat* entry, const TrustedUsers& users) {
  if (!users.count(holder.st_uid))
    return false;
  if ((holder.st_mode & (S_IWGRP | S_IWOTH)) == 0)
    return true;
  // Others may write a sticky folder, but not replace or rename what they do not own.
  return (holder.st_mode & S_ISVTX) != 0 && (entry == nullptr || users.count(entry->st_uid));
}

std::vector<std::string> names_of(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end > start)
      names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string path;
  for (const std::string& name : names)
    path += "/" + name;
  return path.empty() ? "/" : path;
}

int refuse(int error) {
  errno = error;
  return -1;
}

// A name beside `name` that no file has: `name` + "." + six random letters.
std::string random_name(const char* name) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 numbers{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, sizeof letters - 2);
  std::string made = std::string(name) + ".";
  for (int i = 0; i < 6; ++i)
    made += letters[pick(numbers)];
  return made;
}

// Makes a new file beside `name` in `folder`, open for writing. Returns its descriptor, or -1
// with errno set; `made` receives its name.
int new_file_beside(int folder, const char* name, mode_t mode, std::string& made) {
  for (int tries = 0; tries < 100; ++tries) {
    made = random_name(name);
    const int fd = platform::open_retried(
        folder, made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return refuse(EEXIST);
}

bool write_all(int fd, const void* data, std::size_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      if (n == 0)
        errno = EIO;
      return false;
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

int open_folder(const char* path) {
  return platform::open_retried(AT_FDCWD, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

int open_guarded_folder(const char* path, Trust trust, std::string& changeable) {
  std::string full = path;
  if (full.empty())
    return refuse(ENOENT);
  if (full[0] != '/') {
    std::vector<char> here(4096);
    while (::getcwd(here.data(), here.size()) == nullptr) {
      if (errno != ERANGE)
        return -1;
      here.resize(here.size() * 2);
    }
    full = std::string(here.data()) + "/" + full;
  }
  std::vector<std::string> all = names_of(full);
  if (full.back() == '/' || all.empty() || all.back() == "." || all.back() == "..")
    return refuse(EISDIR);
  const std::string file = all.back();
  all.pop_back();
  std::deque<std::string> ahead(all.begin(), all.end());

  const TrustedUsers users(trust);
  // The folders walked so far, the root first, and their names.
  std::vector<Descriptor> folders;
  std::vector<std::string> names;
  folders.emplace_back(open_folder("/"));
  if (folders.back().get() < 0)
    return -1;
  int links = 0;
  while (!ahead.empty()) {
    const std::string name = ahead.front();
    ahead.pop_front();
    if (name == ".")
      continue;
    if (name == "..") {
      if (folders.size() > 1) {
        folders.pop_back();
        names.pop_back();
      }
      continue;
    }
    const int holder = folders.back().get();
    struct stat holding, step;
    if (::fstat(holder, &holding) != 0 ||
        ::fstatat(holder, name.c_str(), &step, AT_SYMLINK_NOFOLLOW) != 0)
      return -1;
    if (!holds_safely(holding, &step, users)) {
      changeable = joined(names);
      return refuse(EPERM);
    }
    if (S_ISLNK(step.st_mode)) {
      if (++links > most_links)
        return refuse(ELOOP);
      std::string target;
      if (read_link_at(holder, name.c_str(), target) != 0)
        return -1;
      const std::vector<std::string> leads = names_of(target);
      ahead.insert(ahead.begin(), leads.begin(), leads.end());
      if (!target.empty() && target[0] == '/') {
        folders.resize(1);
        names.clear();
      }
      continue;
    }
    if (!S_ISDIR(step.st_mode))
      return refuse(ENOTDIR);
    Descriptor next(platform::open_retried(holder, name.c_str(),
                                           O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened;
    if (next.get() < 0 || ::fstat(next.get(), &opened) != 0)
      return -1;
    // Only a trusted user could have changed the step meanwhile; still, the folder checked is
    // the folder taken.
    if (opened.st_dev != step.st_dev || opened.st_ino != step.st_ino) {
      changeable = joined(names);
      return refuse(EPERM);
    }
    folders.push_back(std::move(next));
    names.push_back(name);
  }

  const int folder = folders.back().get();
  struct stat holding, entry;
  if (::fstat(folder, &holding) != 0)
    return -1;
  const bool exists = ::fstatat(folder, file.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT)
    return -1;
  if (!holds_safely(holding, exists ? &entry : nullptr, users)) {
    changeable = joined(names);
    return refuse(EPERM);
  }
  return folders.back().release();
}

int standing_at(int folder, const char* name, Standing& standing) {
  struct stat status;
  if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT)
      return -1;
    standing = Standing::Nothing;
    return 0;
  }
  standing = S_ISLNK(status.st_mode)   ? Standing::Link
             : S_ISREG(status.st_mode) ? Standing::RegularFile
                                       : Standing::Other;
  return 0;
}

int read_link_at(int folder, const char* name, std::string& target) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = ::readlinkat(folder, name, text.data(), text.size());
    if (n < 0)
      return -1;
    if (static_cast<std::size_t>(n) < text.size()) {
      target.assign(text.data(), static_cast<std::size_t>(n));
      return 0;
    }
    text.resize(text.size() * 2);
  }
}

int open_at_for_writing(int folder, const char* name) {
  for (int tries = 0; tries < 100; ++tries) {
    const Descriptor located(platform::open_retried(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (located.get() < 0) {
      if (errno != ENOENT)
        return -1;
      const int made = platform::open_retried(
          folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
      if (made >= 0 || errno != EEXIST)
        return made;
      continue; // made by someone else meanwhile: located again
    }
    struct stat status;
    if (::fstat(located.get(), &status) != 0)
      return -1;
    if (S_ISLNK(status.st_mode))
      return refuse(ELOOP);
    if (!S_ISREG(status.st_mode))
      return refuse(EINVAL);
    return platform::reopen_located(
        located.get(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, folder, name);
  }
  return refuse(EEXIST);
}

int replace_file_at(int folder, const char* name, const void* data, std::size_t length,
                    Ownership ownership) {
  struct stat old;
  const bool keep = ownership == Ownership::Kept &&
                    ::fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  std::string made;
  Descriptor file(new_file_beside(folder, name, keep ? 0600 : 0666, made));
  if (file.get() < 0)
    return -1;
  int error = write_all(file.get(), data, length) ? 0 : errno;
  if (error == 0 && keep) {
    // The owner first: a change of owner takes the set-user and set-group bits away. A program
    // that may not give the file away still gives it the permissions.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(file.get(), old.st_uid, old.st_gid) != 0)
      debug_log() << "Folders.cpp(216): " << name << ": " << std::strerror(errno) << "\n";
    if (::fchmod(file.get(), old.st_mode & 0777) != 0)
      error = errno;
  }
  if (error == 0 && _commit(file.get()) != 0)
    error = errno;
  if (::close(file.release()) != 0 && error == 0)
    error = errno;
  if (error == 0 && ::renameat(folder, made.c_str(), folder, name) != 0)
    error = errno;
  if (error == 0)
    return 0;
  ::unlinkat(folder, made.c_str(), 0);
  return refuse(error);
}

int try_new_file_at(int folder, const char* name) {
  std::string made;
  const int fd = new_file_beside(folder, name, 0600, made);
  if (fd < 0)
    return -1;
  ::close(fd);
  ::unlinkat(folder, made.c_str(), 0);
  return 0;
}

int rename_at(int folder, const char* from, const char* to) {
  struct stat status;
  if (::fstatat(folder, to, &status, AT_SYMLINK_NOFOLLOW) == 0)
    return refuse(EEXIST);
  if (errno != ENOENT)
    return -1;
  return ::renameat(folder, from, folder, to);
}
