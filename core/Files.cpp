#include "Files.h"

#include "Crt.h"
#include "DebugLog.h"
#include "GuardedFile.h"

#include <glib.h>

#include <cerrno>
#include <ostream>

bool read_open_file(int fd, std::string& text) {
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

bool read_file(const std::string& name, std::string& text) {
  const int fd = open_for_reading(name.c_str());
  return fd != -1 && read_open_file(fd, text);
}

bool write_file(const std::string& name, const void* data, std::size_t length) {
  const GuardedFile file = GuardedFile::guarded(name, Trust::Operator);
  if (!file.has_folder()) {
    debug_log() << "Files.cpp(131): " << name << ": " << file.reason() << "\n";
    return false;
  }
  if (!file.replace(data, length, Ownership::New)) {
    debug_log() << "Files.cpp(135): " << name << ": " << g_strerror(errno) << "\n";
    return false;
  }
  return true;
}

std::string make_temporary_folder(const std::string& pattern, std::string& why) {
  const std::string in = g_get_tmp_dir();
  const GuardedFile way = GuardedFile::guarded(in + G_DIR_SEPARATOR_S + pattern, Trust::Operator);
  if (!way.has_folder()) {
    why = way.reason();
    return std::string();
  }
  GError* error = nullptr;
  gchar* made = g_dir_make_tmp(pattern.c_str(), &error);
  if (made == nullptr) {
    why = error->message;
    g_error_free(error);
    return std::string();
  }
  gchar* utf8 = g_filename_to_utf8(made, -1, nullptr, nullptr, nullptr);
  g_free(made);
  std::string folder = utf8 != nullptr ? utf8 : "";
  g_free(utf8);
  return folder;
}
