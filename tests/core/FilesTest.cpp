#include "Files.h"

#include "LogCapture.h"
#include "Script.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

TEST(Files, WholeFilesKeepEveryByte) {
  TempDir dir;
  const std::string bytes("a\0b\r\n\xff", 6);
  const std::string name = dir.file("f.bin");
  ASSERT_TRUE(write_file(name, bytes.data(), bytes.size()));
  std::string text = "old";
  ASSERT_TRUE(read_file(name, text));
  EXPECT_EQ(text, bytes);
  ASSERT_TRUE(write_file(name, "x", 1));
  ASSERT_TRUE(read_file(name, text));
  EXPECT_EQ(text, "x");

  text = "unchanged";
  EXPECT_FALSE(read_file(dir.file("missing"), text));
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(write_file(dir.file("missing/f"), "x", 1));
}

// What is no regular file is refused at once: a named pipe without a writer would keep the
// open waiting for ever, a device would never end.
TEST(Files, OddFilesAreRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.file("zero"));
  std::filesystem::create_symlink("fifo", dir.file("to fifo"));
  std::filesystem::create_directory(dir.file("folder"));
  for (const char* name : {"fifo", "zero", "to fifo", "folder"}) {
    SCOPED_TRACE(name);
    std::string text = "unchanged";
    const gint64 began = g_get_monotonic_time();
    EXPECT_FALSE(read_file(dir.file(name), text));
    EXPECT_LT(g_get_monotonic_time() - began, 5 * G_USEC_PER_SEC);
    EXPECT_EQ(text, "unchanged");
  }
  // A link to a regular file reads as that file.
  ASSERT_TRUE(write_file(dir.file("file"), "abc", 3));
  std::filesystem::create_symlink("file", dir.file("to file"));
  std::string text;
  EXPECT_TRUE(read_file(dir.file("to file"), text));
  EXPECT_EQ(text, "abc");
}

// Nor is such a file opened to be refused: opening can itself set something going (a tape
// rewinds, a watchdog starts). Seen here on a named pipe, whose waiting writer an open would
// let go on.
TEST(Files, WhatIsNoRegularFileIsNeverOpened) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("fifo", dir.file("to fifo"));
  std::atomic<bool> writerWentOn{false};
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC); // waits for a reader
    writerWentOn = true;
    if (fd >= 0)
      ::close(fd);
  });
  g_usleep(100 * 1000); // the writer waits in its open by now
  std::string text;
  EXPECT_FALSE(read_file(fifo, text));
  EXPECT_FALSE(read_file(dir.file("to fifo"), text));
  g_usleep(100 * 1000);
  EXPECT_FALSE(writerWentOn);
  // Let the writer go.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  writer.join();
  if (reader >= 0)
    ::close(reader);
}

// A file that is a link, written through it: the link stays, and the file it leads to is
// replaced beside itself with its permissions and its owner kept; without following, the link
// is replaced.
TEST(Files, WritingFollowsLinksWhenAsked) {
  TempDir dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.file("shared/deeper"));
  fs::create_directory(dir.file("program"));
  const std::string target = dir.file("shared/deeper/log.cfg");
  ASSERT_TRUE(write_file(target, "old", 3));
  ASSERT_EQ(chmod(target.c_str(), 0664), 0);
  // The user it belongs to, where this test may give it away (as root).
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
  }
  // A chain of two links, the second relative to its own folder.
  fs::create_symlink("deeper/log.cfg", dir.file("shared/current"));
  fs::create_symlink(dir.file("shared/current"), dir.file("program/WipeLog.cfg"));
  const std::string link = dir.file("program/WipeLog.cfg");
  EXPECT_EQ(file_behind_links(link), dir.file("shared/deeper/log.cfg"));

  ASSERT_TRUE(write_file(link, "new", 3, Links::Follow));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_symlink(dir.file("shared/current")));
  std::string text;
  ASSERT_TRUE(read_file(target, text));
  EXPECT_EQ(text, "new");
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0664u);
  if (asRoot) {
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
  }
  // Nothing was left beside the file.
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dir.file("shared/deeper")), fs::directory_iterator()),
      1);

  // A link to a file not made yet makes it.
  fs::create_symlink("made-later.cfg", dir.file("program/dangling"));
  ASSERT_TRUE(write_file(dir.file("program/dangling"), "x", 1, Links::Follow));
  EXPECT_TRUE(fs::is_symlink(dir.file("program/dangling")));
  ASSERT_TRUE(read_file(dir.file("program/made-later.cfg"), text));
  EXPECT_EQ(text, "x");

  // Without following, the link itself is replaced.
  ASSERT_TRUE(write_file(link, "own", 3));
  EXPECT_FALSE(fs::is_symlink(link));
  ASSERT_TRUE(read_file(target, text));
  EXPECT_EQ(text, "new");
}

// Links that lead nowhere a file can be written: in a circle, to a pipe, to a folder that is
// missing. Neither the write nor the check of it succeeds, and the pipe stays a pipe.
TEST(Files, LinksToWhatCannotBeAFileAreRefused) {
  TempDir dir;
  namespace fs = std::filesystem;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", dir.file("to fifo"));
  fs::create_symlink("circle b", dir.file("circle a"));
  fs::create_symlink("circle a", dir.file("circle b"));
  fs::create_symlink("missing/log.cfg", dir.file("to missing"));
  const struct {
    const char* name;
    std::string why;
  } cases[] = {
      {"to fifo", "it is not a regular file"},
      {"fifo", "it is not a regular file"},
      {"circle a", g_strerror(ELOOP)},
      {"to missing", g_strerror(ENOENT)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(write_file(dir.file(c.name), "x", 1, Links::Follow));
    std::string why;
    EXPECT_FALSE(file_can_be_replaced(dir.file(c.name), Links::Follow, why));
    EXPECT_EQ(why, c.why);
  }
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
  EXPECT_EQ(file_behind_links(dir.file("circle a")), "");

  // What can be written passes the check, which leaves nothing behind.
  ASSERT_TRUE(write_file(dir.file("file"), "x", 1));
  fs::create_symlink("file", dir.file("to file"));
  std::string why;
  EXPECT_TRUE(file_can_be_replaced(dir.file("to file"), Links::Follow, why));
  EXPECT_TRUE(file_can_be_replaced(dir.file("new file"), Links::Replace, why));
  EXPECT_EQ(why, "");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 7);
}

namespace {

// Points the desktop opener at a script that records its argument.
class SystemOpenTest : public ::testing::Test {
protected:
  void SetUp() override {
    script = dir.file("opener");
    record = dir.file("opened");
    write_recording_script(script, "printf '%s' \"$1\"", record);
    setenv("CVW_SHELL_OPEN", script.c_str(), 1);
  }
  void TearDown() override { unsetenv("CVW_SHELL_OPEN"); }

  TempDir dir;
  std::string script, record;
};

} // namespace

TEST_F(SystemOpenTest, HandsFilesAndAddressesToTheOpener) {
  const std::string picture = dir.file("certificate.png");
  ASSERT_TRUE(write_file(picture, "png", 3));
  LogCapture log;
  EXPECT_TRUE(system_open(picture));
  EXPECT_EQ(wait_for_file(record), picture);
  EXPECT_EQ(log.text(), "");
}

TEST_F(SystemOpenTest, FailuresAreLoggedWithTheShellResult) {
  LogCapture log;
  const std::string missing = dir.file("missing.png");
  EXPECT_FALSE(system_open(missing));
  EXPECT_EQ(log.text(), "SystemOpen.cpp(23): " + missing + " 2\n");

  setenv("CVW_SHELL_OPEN", "cvw-no-such-opener", 1);
  const std::string picture = dir.file("certificate.png");
  ASSERT_TRUE(write_file(picture, "png", 3));
  log.clear();
  EXPECT_FALSE(system_open(picture));
  EXPECT_EQ(log.text(), "SystemOpen.cpp(23): " + picture + " 31\n");
}
