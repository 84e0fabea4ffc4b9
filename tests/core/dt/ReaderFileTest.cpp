#include "ReaderFile.h"

#include "Bytes.h"
#include "FaultyDisk.h"
#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string counting(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>(i * 7);
  return bytes;
}

} // namespace

TEST(ReaderFile, ReadsAtAbsoluteOffsets) {
  TempDir dir;
  const std::string bytes = counting(1000);
  ASSERT_TRUE(write_file(dir.file("f"), bytes.data(), bytes.size()));
  dt::ReaderFile reader;
  EXPECT_EQ(reader.size(), 0u);
  ASSERT_TRUE(reader.open(dir.file("f")));
  EXPECT_EQ(reader.size(), 1000u);
  struct Case {
    std::uint64_t offset, length;
    bool exact;
    std::int64_t some;
  };
  const Case cases[] = {
      {0, 1000, true, 1000}, {900, 100, true, 100}, {900, 101, false, 100}, {999, 1, true, 1},
      {1000, 0, true, 0},    {1000, 1, false, 0},   {5000, 10, false, 0},   {0, 0, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + " " + std::to_string(c.length));
    std::string buffer(c.length, 'z');
    LogCapture log;
    EXPECT_EQ(reader.read_some(c.offset, buffer.data(), c.length), c.some);
    EXPECT_EQ(
        buffer.substr(0, static_cast<std::size_t>(c.some)),
        bytes.substr(std::min<std::size_t>(c.offset, 1000), static_cast<std::size_t>(c.some)));
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(reader.read_exact(c.offset, buffer.data(), c.length), c.exact);
    EXPECT_EQ(log.text(), c.exact ? "" : "ReaderFile.cpp(50)\n");
  }
  LogCapture log;
  char byte;
  EXPECT_EQ(reader.read_some(std::uint64_t(1) << 63, &byte, 1), 0);
  EXPECT_EQ(log.text(), "ReaderFile.cpp(60): 9223372036854775808\n");
}

// A file served over FUSE (or NFS) may give fewer bytes than asked and the rest at the next
// call: a short count is read on, and only the end of the file ends a read early.
TEST(ReaderFile, ReadsOnAfterShortCounts) {
  FaultyDisk::Faults faults;
  faults.shortRead = "100,1500,1501,3000";
  faults.logged = true;
  FaultyDisk faulty(8 * 512, faults);
  if (!faulty.why_not().empty())
    GTEST_SKIP() << faulty.why_not();
  const std::string bytes = counting(4096);
  // Into the image the file system serves, in place.
  std::fstream(faulty.image(), std::ios::in | std::ios::out | std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  dt::ReaderFile reader;
  ASSERT_TRUE(reader.open(faulty.file()));
  std::string buffer(4096, 'z');
  LogCapture log;
  EXPECT_TRUE(reader.read_exact(50, buffer.data(), 3500));
  EXPECT_EQ(first_difference(buffer.substr(0, 3500), bytes.substr(50, 3500)), "");
  EXPECT_EQ(reader.read_some(2900, buffer.data(), 2000), 4096 - 2900);
  EXPECT_EQ(first_difference(buffer.substr(0, 4096 - 2900), bytes.substr(2900)), "");
  EXPECT_EQ(log.text(), "");
  EXPECT_NE(faulty.log().find(" short"), std::string::npos) << faulty.log();
}

TEST(ReaderFile, EmptyFiles) {
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("empty"), "", 0));
  dt::ReaderFile reader;
  ASSERT_TRUE(reader.open(dir.file("empty")));
  EXPECT_EQ(reader.size(), 0u);
  char buffer[10];
  LogCapture log;
  EXPECT_TRUE(reader.read_exact(0, buffer, 0));
  EXPECT_FALSE(reader.read_exact(0, buffer, 10));
  EXPECT_EQ(log.text(), "ReaderFile.cpp(50)\n");
}

TEST(ReaderFile, AFailedOpenKeepsTheOpenFile) {
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("f"), "abc", 3));
  dt::ReaderFile reader;
  ASSERT_TRUE(reader.open(dir.file("f")));
  LogCapture log;
  EXPECT_FALSE(reader.open(dir.file("missing")));
  EXPECT_EQ(log.text(),
            "ReaderFile.cpp(32): " + dir.file("missing") + " " + std::strerror(ENOENT) + "\n");
  char buffer[3];
  EXPECT_TRUE(reader.read_exact(0, buffer, 3));
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(reader.size(), 3u);

  // A second file replaces the first.
  ASSERT_TRUE(write_file(dir.file("g"), "hello", 5));
  ASSERT_TRUE(reader.open(dir.file("g")));
  EXPECT_EQ(reader.size(), 5u);
  EXPECT_TRUE(reader.read_exact(2, buffer, 3));
  EXPECT_EQ(std::string(buffer, 3), "llo");

  // Closed: the size stays, reads fail.
  reader.close();
  reader.close();
  EXPECT_EQ(reader.size(), 5u);
  log.clear();
  EXPECT_EQ(reader.read_some(0, buffer, 3), 0);
  EXPECT_EQ(log.text(), "ReaderFile.cpp(60): 0\n");
}

TEST(ReaderFile, ReadExactUsesTheReadOfTheDerivedReader) {
  class Halving : public dt::ReaderFile {
  public:
    std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override {
      return dt::ReaderFile::read_some(offset, buffer, length / 2);
    }
  };
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("f"), "abcd", 4));
  Halving reader;
  ASSERT_TRUE(reader.open(dir.file("f")));
  char buffer[4];
  LogCapture log;
  EXPECT_FALSE(reader.read_exact(0, buffer, 4));
  EXPECT_EQ(log.text(), "ReaderFile.cpp(50)\n");
}

// A descriptor whose close reports an error is released all the same: the reader must not
// close it again, since the number may by then belong to another file.
TEST(ReaderFile, NeverClosesADescriptorTwice) {
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("f"), "abc", 3));
  const int probe = ::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  ::close(probe); // the number the reader's open gets, as the lowest free one
  {
    dt::ReaderFile reader;
    ASSERT_TRUE(reader.open(dir.file("f")));
    ASSERT_EQ(::close(probe), 0); // behind the reader's back
    LogCapture log;
    reader.close();
    EXPECT_EQ(log.text(), std::string("ReaderFile.cpp(77): ") + std::strerror(EBADF) + "\n");
    const int other = ::open(dir.file("f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(other, probe); // the number now belongs to another file
  }                          // the reader goes
  EXPECT_NE(fcntl(probe, F_GETFD), -1) << "the other file was closed";
  ::close(probe);
}
