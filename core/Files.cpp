#include "Files.h"

#include "Crt.h"
#include "DebugLog.h"
#include "Translation.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdint>
#include <ostream>

namespace {

// How many links file_behind_links follows before it takes them for a circle (the system's
// own limit).
constexpr int most_links = 40;

// What stands at `path`, without following a link there.
enum class Standing { Nothing, RegularFile, Link, Other };

Standing standing_at(const std::string& path) {
  if (g_file_test(path.c_str(), G_FILE_TEST_IS_SYMLINK))
    return Standing::Link;
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS))
    return Standing::Nothing;
  return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) ? Standing::RegularFile
                                                           : Standing::Other;
}

std::string take(gchar* text) {
  std::string copy(text);
  g_free(text);
  return copy;
}

// The file that write_file replaces for `name`, or empty (with `why`) when there is none that
// it may replace.
std::string file_to_replace(const std::string& name, Links links, std::string& why) {
  const std::string file = links == Links::Follow ? file_behind_links(name) : name;
  if (file.empty()) {
    why = g_strerror(ELOOP);
    return file;
  }
  const Standing standing = standing_at(file);
  if (standing == Standing::Other || (links == Links::Follow && standing == Standing::Link)) {
    why = gettext("it is not a regular file");
    return std::string();
  }
  return file;
}

} // namespace

bool read_file(const std::string& name, std::string& text) {
  const int fd = open_for_reading(name.c_str());
  if (fd == -1)
    return false;
  // A pipe or a device could keep the reads waiting, or never end them.
  bool read = is_regular_descriptor(fd);
  std::string contents;
  char buffer[64 * 1024];
  while (read) {
    const int count = _read(fd, buffer, sizeof buffer);
    if (count < 0)
      read = false;
    else if (count == 0)
      break;
    else
      contents.append(buffer, static_cast<std::size_t>(count));
  }
  _close(fd);
  if (read)
    text = std::move(contents);
  return read;
}

std::string file_behind_links(const std::string& name) {
  std::string file = name;
  for (int hops = 0; g_file_test(file.c_str(), G_FILE_TEST_IS_SYMLINK); ++hops) {
    if (hops == most_links)
      return std::string();
    gchar* target = g_file_read_link(file.c_str(), nullptr);
    if (target == nullptr)
      return std::string();
    std::string next = take(target);
    if (!g_path_is_absolute(next.c_str()))
      next = take(g_path_get_dirname(file.c_str())) + G_DIR_SEPARATOR_S + next;
    file = std::move(next);
  }
  return file;
}

bool write_file(const std::string& name, const void* data, std::size_t length, Links links) {
  if (links == Links::Replace)
    return g_file_set_contents(name.c_str(), static_cast<const gchar*>(data),
                               static_cast<gssize>(length), nullptr) == TRUE;
  std::string why;
  const std::string file = file_to_replace(name, links, why);
  if (file.empty())
    return false;
  // A file that others share keeps the permissions it was given (the new file is made under
  // the program's file mode mask, so they are set again afterwards), and the user and group it
  // belonged to: a save by the root program would otherwise take it from them.
  GStatBuf status;
  const bool existed = g_stat(file.c_str(), &status) == 0;
  const int mode = existed ? static_cast<int>(status.st_mode & 07777) : 0666;
  if (g_file_set_contents_full(file.c_str(), static_cast<const gchar*>(data),
                               static_cast<gssize>(length), G_FILE_SET_CONTENTS_CONSISTENT, mode,
                               nullptr) != TRUE)
    return false;
  if (existed && keep_file_attributes(file.c_str(), static_cast<unsigned>(mode),
                                      static_cast<std::uint32_t>(status.st_uid),
                                      static_cast<std::uint32_t>(status.st_gid)) != 0)
    debug_log() << "Files.cpp(112): " << file << ": " << g_strerror(errno) << "\n";
  return true;
}

bool file_can_be_replaced(const std::string& name, Links links, std::string& why) {
  const std::string file = file_to_replace(name, links, why);
  if (file.empty())
    return false;
  // Only a new file in its folder proves that the folder takes one: its permissions and a
  // read-only file system both show here.
  std::string pattern = file + ".XXXXXX";
  const int fd = g_mkstemp(&pattern[0]);
  if (fd == -1) {
    why = g_strerror(errno);
    return false;
  }
  _close(fd);
  g_remove(pattern.c_str());
  return true;
}
