#include "Files.h"

#include "LogCapture.h"
#include "Script.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
