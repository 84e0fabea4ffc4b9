#include "FileStd.h"

#include "EngineFixture.h"
#include "FaultyDisk.h"
#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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

// A file served over FUSE (or NFS) may move fewer bytes than asked and more at the next call: a
// short count is no failure, and the rest follows until the length is done or a call fails,
// which gives what moved before it.
TEST_F(FileStdTest, GoesOnAfterShortCounts) {
  FaultyDisk::Faults faults;
  faults.shortWrite = "700,5000,5001,9000,15360";
  faults.shortRead = "600,1000,9100";
  faults.badWrite = "30+1"; // bytes 15360 to 15871
  faults.logged = true;
  FaultyDisk faulty(32 * 512, faults);
  if (!faulty.why_not().empty())
    GTEST_SKIP() << faulty.why_not();
  std::string data(12000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + 1);
  dt::FileStd file;
  ASSERT_TRUE(file.open(faulty.file(), OpenMode::ReadWrite, 0));
  EXPECT_EQ(12000, file.write_some(100, data.data(), data.size()));
  std::string back(12000, '\0');
  EXPECT_EQ(12000, file.read_some(100, back.data(), back.size()));
  EXPECT_EQ("", first_difference(back, data, 512));
  EXPECT_TRUE(file.write_exact(4900, data.data() + 4800, 200));
  EXPECT_TRUE(file.read_exact(550, back.data(), 100));
  EXPECT_EQ("", first_difference(back.substr(0, 100), data.substr(450, 100), 512));
  // A read that reaches the end of the file gives what there is.
  EXPECT_EQ(1000, file.read_some(15384, back.data(), 2000));
  EXPECT_EQ("", log.text());
  std::string image;
  ASSERT_TRUE(read_file(faulty.image(), image));
  EXPECT_EQ("", first_difference(image.substr(100, 12000), data, 512));
  // The file system did come up short, at each of the bytes.
  const auto shorts = [&](const std::string& kind) {
    std::istringstream lines(faulty.log());
    int count = 0;
    for (std::string line; std::getline(lines, line);)
      count += line.find(" " + kind + " ") != std::string::npos &&
               line.compare(line.size() - 6, 6, " short") == 0;
    return count;
  };
  EXPECT_EQ(6, shorts("write")) << faulty.log();
  EXPECT_EQ(4, shorts("read")) << faulty.log();

  // Up to the bad sector, in two calls; the call there fails.
  EXPECT_EQ(15360 - 14000, file.write_some(14000, data.data(), 2000));
  EXPECT_EQ("FileStd.cpp(99): 15360 640 -1 Input/output error\n", log.text());
}

} // namespace
