#include "GuardedFile.h"

#include "Files.h"
#include "Format.h"
#include "Translation.h"

#include <glib.h>

#include <cerrno>

class GuardedFile::Folder {
public:
  explicit Folder(int fd) : fd(fd) {}
  ~Folder() { _close(fd); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const int fd;
};

namespace {

std::string take(gchar* text) {
  std::string copy(text);
  g_free(text);
  return copy;
}

} // namespace

GuardedFile GuardedFile::in_folder(const std::string& folder, const std::string& name) {
  GuardedFile file;
  file.name_ = name;
  file.path_ = folder + G_DIR_SEPARATOR_S + name;
  const int fd = open_folder(folder.c_str());
  if (fd == -1)
    file.reason_ = g_strerror(errno);
  else
    file.folder_ = std::make_shared<const Folder>(fd);
  return file;
}

GuardedFile GuardedFile::guarded(const std::string& path, Trust trust) {
  GuardedFile file;
  file.name_ = take(g_path_get_basename(path.c_str()));
  file.path_ = path;
  std::string changeable;
  const int fd = open_guarded_folder(path.c_str(), trust, changeable);
  if (fd != -1)
    file.folder_ = std::make_shared<const Folder>(fd);
  else if (errno == EPERM)
    file.reason_ = format(gettext("another user may change the folder %1"), changeable);
  else
    file.reason_ = g_strerror(errno);
  return file;
}

GuardedFile GuardedFile::refused(const std::string& path, const std::string& reason) {
  GuardedFile file;
  file.name_ = take(g_path_get_basename(path.c_str()));
  file.path_ = path;
  file.reason_ = reason;
  return file;
}

int GuardedFile::folder() const { return folder_ != nullptr ? folder_->fd : -1; }

Standing GuardedFile::standing() const {
  Standing standing = Standing::Other;
  if (folder_ == nullptr || standing_at(folder_->fd, name_.c_str(), standing) != 0)
    return Standing::Other;
  return standing;
}

bool GuardedFile::read(std::string& text) const {
  if (folder_ == nullptr) {
    errno = ENOENT;
    return false;
  }
  const int fd = open_at_for_reading(folder_->fd, name_.c_str());
  return fd != -1 && read_open_file(fd, text);
}

bool GuardedFile::replace(const void* data, std::size_t length, Ownership ownership) const {
  if (folder_ == nullptr) {
    errno = ENOENT;
    return false;
  }
  return replace_file_at(folder_->fd, name_.c_str(), data, length, ownership) == 0;
}

bool GuardedFile::can_replace(std::string& why) const {
  if (folder_ == nullptr) {
    why = reason_;
    return false;
  }
  if (standing() == Standing::Other) {
    why = gettext("it is not a regular file");
    return false;
  }
  // Only a new file in its folder proves that the folder takes one: its permissions and a
  // read-only file system both show here.
  if (try_new_file_at(folder_->fd, name_.c_str()) != 0) {
    why = g_strerror(errno);
    return false;
  }
  return true;
}

int GuardedFile::open_for_writing() const {
  if (folder_ == nullptr) {
    errno = ENOENT;
    return -1;
  }
  return open_at_for_writing(folder_->fd, name_.c_str());
}

bool GuardedFile::rename(const std::string& name) const {
  if (folder_ == nullptr) {
    errno = ENOENT;
    return false;
  }
  return rename_at(folder_->fd, name_.c_str(), name.c_str()) == 0;
}
