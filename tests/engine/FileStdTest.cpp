#include "FileStd.h"

#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class FileStdTest : public ::testing::Test {
protected:
  std::string make_file(const char* name, const std::string& content) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(write_file(path, content.data(), content.size()));
    return path;
  }
  TempDir dir;
  LogCapture log;
};

TEST_F(FileStdTest, ModesCreateButNeverTruncate) {
  dt::FileStd file;
  const std::string missing = dir.file("new.img");
  EXPECT_FALSE(file.open(missing, OpenMode::Read, 0));
  EXPECT_EQ("FileStd.cpp(44): " + missing + " No such file or directory\n", log.text());
  EXPECT_FALSE(std::filesystem::exists(missing));
  for (OpenMode mode : {OpenMode::Write, OpenMode::ReadWrite}) {
    std::filesystem::remove(missing);
    ASSERT_TRUE(file.open(missing, mode, 0)) << int(mode);
    EXPECT_EQ(0u, file.size());
    EXPECT_TRUE(std::filesystem::exists(missing));
  }
  const std::string path = make_file("old.img", std::string(1000, 'o'));
  for (OpenMode mode : {OpenMode::Read, OpenMode::Write, OpenMode::ReadWrite}) {
    ASSERT_TRUE(file.open(path, mode, 0)) << int(mode);
    EXPECT_EQ(1000u, file.size()) << int(mode);
  }
  ASSERT_TRUE(file.close());
  std::string content;
  ASSERT_TRUE(read_file(path, content));
  EXPECT_EQ(std::string(1000, 'o'), content);
}

TEST_F(FileStdTest, ReadsWhatThereIsAndWritesPastTheEnd) {
  dt::FileStd file;
  ASSERT_TRUE(file.open(make_file("a.img", std::string(1000, 'a')), OpenMode::ReadWrite, 0));
  std::string buffer(1024, '\0');
  EXPECT_EQ(1000, file.read_some(0, buffer.data(), 1024));
  EXPECT_EQ(0, file.read_some(1000, buffer.data(), 1));
  EXPECT_EQ("", log.text());
  EXPECT_FALSE(file.read_exact(990, buffer.data(), 20));
  EXPECT_EQ("FileStd.cpp(60)\n", log.text());
  EXPECT_TRUE(file.write_exact(1500, "tail", 4));
  EXPECT_EQ(1000u, file.size()); // the size is the one taken at open
  EXPECT_TRUE(file.read_exact(1500, buffer.data(), 4));
  EXPECT_EQ("tail", buffer.substr(0, 4));
  EXPECT_TRUE(file.sync());
}

TEST_F(FileStdTest, ReportsFailuresWithTheSystemText) {
  dt::FileStd file;
  ASSERT_TRUE(file.open(make_file("a.img", "abc"), OpenMode::Read, 0));
  EXPECT_EQ(0, file.write_some(0, "x", 1)); // opened for reading only
  EXPECT_EQ("FileStd.cpp(99): 0 1 -1 Bad file descriptor\n", log.text());
  log.clear();
  EXPECT_FALSE(file.write_exact(0, "x", 1));
  EXPECT_EQ("FileStd.cpp(99): 0 1 -1 Bad file descriptor\nFileStd.cpp(84)\n", log.text());
  log.clear();
  char byte;
  EXPECT_EQ(0, file.read_some(std::uint64_t(1) << 63, &byte, 1)); // no such position
  EXPECT_EQ("FileStd.cpp(70): 9223372036854775808\n", log.text());
  EXPECT_TRUE(file.close());
  log.clear();
  EXPECT_FALSE(file.close());
  EXPECT_EQ("FileStd.cpp(121): Bad file descriptor\n", log.text());
}

// Device nodes are refused before they are opened: a raw device is opened only through the raw
// device types.
TEST_F(FileStdTest, RefusesDevices) {
  for (const char* device : {"/dev/null", "/dev/zero"}) {
    log.clear();
    dt::FileStd file;
    EXPECT_FALSE(file.open(device, OpenMode::ReadWrite, 0));
    EXPECT_EQ(std::string("FileStd.cpp(40): ") + device + " is a device or a pipe, not a file\n",
              log.text());
  }
}

} // namespace
