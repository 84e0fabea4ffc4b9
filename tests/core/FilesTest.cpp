#include "Files.h"

#include "ElevatedOperator.h"
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

// A write replaces what stands at the name, and follows no link there: neither to a file, which
// keeps what it held, nor to a name not made yet, which stays unmade, nor round a circle.
TEST(Files, WritesNeverFollowALink) {
  TempDir dir;
  namespace fs = std::filesystem;
  ASSERT_TRUE(write_file(dir.file("target"), "old", 3));
  fs::create_symlink(dir.file("target"), dir.file("to target"));
  fs::create_symlink(dir.file("made by the link"), dir.file("dangling"));
  fs::create_symlink("circle b", dir.file("circle a"));
  fs::create_symlink("circle a", dir.file("circle b"));
  for (const char* name : {"to target", "dangling", "circle a"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(write_file(dir.file(name), "new", 3));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.file(name))));
    std::string text;
    ASSERT_TRUE(read_file(dir.file(name), text));
    EXPECT_EQ(text, "new");
  }
  std::string text;
  ASSERT_TRUE(read_file(dir.file("target"), text));
  EXPECT_EQ(text, "old");
  EXPECT_FALSE(fs::exists(dir.file("made by the link")));
  // Nothing was left beside the files.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5);
}

// A file whose way another user may change is not written: the folder of another user, or one
// below it, could be turned into a link to a folder of root's at any moment. The operator's
// own folders are theirs to change, and take the operator's files. Owners other than root's
// own need root.
TEST(Files, AWayAnotherUserMayChangeIsNotWritten) {
  if (geteuid() != 0)
    GTEST_SKIP() << "folders of another user need root";
  TempDir dir;
  namespace fs = std::filesystem;
  const std::string top = fs::canonical(dir.path()).string();
  fs::create_directories(top + "/theirs/inner");
  ASSERT_EQ(chown((top + "/theirs").c_str(), 65534, 65534), 0);
  const struct {
    const char* name;
    std::string path;
  } cases[] = {{"in their folder", top + "/theirs/WipeLog.csv"},
               {"below it", top + "/theirs/inner/WipeLog.csv"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    EXPECT_FALSE(write_file(c.path, "x", 1));
    EXPECT_FALSE(fs::exists(c.path));
    EXPECT_EQ(log.text(), "Files.cpp(131): " + c.path + ": another user may change the folder " +
                              top + "/theirs\n");
  }
  ElevatedOperator theirs(65534, 65534);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(write_file(c.path, "x", 1));
  }
}

// A private folder for temporary files is made only where no other user may change the way to
// the system's temporary folder. The case runs in a process of its own, whose temporary folder
// is the one it sets.
TEST(FilesDeathTest, TemporaryFoldersOnlyWhereTheWayIsSafe) {
  if (geteuid() != 0)
    GTEST_SKIP() << "folders of another user need root";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  namespace fs = std::filesystem;
  const std::string top = fs::canonical(dir.path()).string();
  fs::create_directories(top + "/theirs");
  ASSERT_EQ(chown((top + "/theirs").c_str(), 65534, 65534), 0);
  for (const std::string& tmp : {top, top + "/theirs"}) {
    const bool safe = tmp == top;
    SCOPED_TRACE(tmp);
    EXPECT_EXIT(
        {
          setenv("TMPDIR", tmp.c_str(), 1);
          std::string why;
          const std::string made = make_temporary_folder("cvw-test-XXXXXX", why);
          struct stat status {};
          const bool ok =
              safe ? made.rfind(tmp + "/cvw-test-", 0) == 0 && stat(made.c_str(), &status) == 0 &&
                         (status.st_mode & 0777) == 0700
                   : made.empty() && why == "another user may change the folder " + top + "/theirs";
          std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
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
