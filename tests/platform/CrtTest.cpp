#include "Crt.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

// A file named in a folder is opened for reading only when it is a regular file; a link at the
// name is not followed, and like a pipe it is only located, so that callers refuse it.
TEST(OpenAtForReading, OnlyARegularFileIsOpened) {
  TempDir dir;
  const int folder = open_folder(dir.path().c_str());
  ASSERT_NE(folder, -1);
  std::ofstream(dir.file("file")) << "text";
  std::filesystem::create_symlink(dir.file("file"), dir.file("link"));
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  const struct {
    const char* name;
    bool regular;
  } cases[] = {{"file", true}, {"link", false}, {"pipe", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int fd = open_at_for_reading(folder, c.name);
    ASSERT_NE(fd, -1) << std::strerror(errno);
    EXPECT_EQ(is_regular_descriptor(fd), c.regular);
    char text[8] = {};
    if (c.regular) {
      EXPECT_EQ(_read(fd, text, sizeof text), 4);
    }
    _close(fd);
  }
  // Nobody opened the pipe: a writer finds no reader at its other end.
  EXPECT_EQ(::open(dir.file("pipe").c_str(), O_WRONLY | O_NONBLOCK), -1);
  EXPECT_EQ(errno, ENXIO);
  EXPECT_EQ(open_at_for_reading(folder, "missing"), -1);
  EXPECT_EQ(errno, ENOENT);
  _close(folder);
}
