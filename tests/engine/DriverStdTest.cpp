// The sector device over files and the emulated device, and the choice of device by
// description.
#include "DriverStd.h"
#include "DriverEmulator.h"
#include "FileStd.h"

#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <limits>

namespace {

config::Value file_description(const std::string& path, const char* type = "file") {
  config::Value d(config::Value::Object);
  d.set("sectorSize", 512);
  d.set("type", type);
  d.set("id", path);
  return d;
}

config::Value emulator_description(const std::string& good, const std::string& pattern,
                                   long long sectorSize = 512) {
  config::Value d(config::Value::Object);
  EXPECT_TRUE(d.parse(("\"use emulator\":true,\"emulator\":{\"good\":" + good + "}").c_str()));
  d.set("sectorSize", sectorSize);
  d["emulator"].set("pattern", pattern);
  return d;
}

class DriverStdTest : public ::testing::Test {
protected:
  std::string make_file(const char* name, std::size_t bytes) {
    const std::string path = dir.file(name);
    const std::string content(bytes, 'f');
    EXPECT_TRUE(write_file(path, content.data(), content.size()));
    return path;
  }
  TempDir dir;
  LogCapture log;
};

TEST_F(DriverStdTest, FileReadsCountWholeSectors) {
  DriverStd driver;
  ASSERT_TRUE(driver.open(file_description(make_file("a.img", 1000)), OpenMode::Read));
  std::vector<char> buffer(1024);
  EXPECT_EQ(1u, driver.read_sectors(0, 2, buffer.data()));
  EXPECT_EQ(0u, driver.read_sectors(1, 1, buffer.data()));
  EXPECT_EQ(0u, driver.read_sectors(5, 1, buffer.data()));
  EXPECT_EQ("", log.text());
}

TEST_F(DriverStdTest, TypeChoosesTheDevice) {
  const std::string path = make_file("a.img", 4096);
  const struct {
    const char* type;
    bool disableBuffering;
    bool opens;
    std::string log;
  } cases[] = {
      {"file", false, true, ""},
      {"Drive", false, true, ""}, // not a raw type: a file of that name
      {"image", true, true, "DriverStd.cpp(71): O_DIRECT\n"},
      // The raw types open device paths only; a file is none.
      {"drive", false, false,
       "ReaderWin32.cpp(65): {path} The request is not supported.\n"
       "DriverStd.cpp(54)\n"},
      {"partition", false, false,
       "ReaderWin32.cpp(65): {path} The request is not supported.\n"
       "DriverStd.cpp(54)\n"},
      {"floppy", true, false,
       "ReaderWin32.cpp(53): {path}: FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH\n"
       "ReaderWin32.cpp(65): {path} The request is not supported.\nDriverStd.cpp(54)\n"},
  };
  for (const auto& c : cases) {
    log.clear();
    config::Value description = file_description(path, c.type);
    description.set("disable buffering", c.disableBuffering);
    DriverStd driver;
    EXPECT_EQ(c.opens, driver.open(description, OpenMode::ReadWrite)) << c.type;
    std::string expected = c.log;
    for (std::size_t at; (at = expected.find("{path}")) != std::string::npos;)
      expected.replace(at, 6, path);
    EXPECT_EQ(expected, log.text()) << c.type;
  }
}

TEST_F(DriverStdTest, DescriptionMembersAreRequiredInOrder) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"\"type\":\"file\",\"id\":\"x\"", "\"sectorSize\" is not found"},
      {"\"sectorSize\":\"512\"", "\"sectorSize\" is String, not Number"},
      {"\"sectorSize\":512,\"type\":\"file\"", "\"id\" is not found"},
      {"\"sectorSize\":512,\"id\":\"x\",\"disable buffering\":false", "\"type\" is not found"},
      {"\"sectorSize\":512,\"use emulator\":true", "\"emulator\" is not found"},
      {"\"sectorSize\":512,\"use emulator\":1", "\"use emulator\" is Number, not Boolean"},
  };
  for (const auto& c : cases) {
    config::Value description(config::Value::Object);
    ASSERT_TRUE(description.parse(c.text));
    DriverStd driver;
    try {
      driver.open(description, OpenMode::Read);
      ADD_FAILURE() << c.text << " opened";
    } catch (const config::Value::Exception& e) {
      EXPECT_STREQ(c.error, e.what());
    }
  }
}

// Every transfer is counted in whole sectors; a sector size of 0 must not reach a division.
TEST_F(DriverStdTest, SectorSizeOfZeroDoesNotOpenAFile) {
  config::Value description = file_description(make_file("a.img", 1024));
  description.set("sectorSize", 0);
  DriverStd driver;
  EXPECT_FALSE(driver.open(description, OpenMode::Read));
  EXPECT_EQ("DriverStd.cpp(45): sectorSize 0 is not a sector size\n", log.text());
  char buffer[512];
  EXPECT_EQ(0u, driver.read_sectors(0, 1, buffer));
}

TEST_F(DriverStdTest, FailedSecondOpenLeavesNoDevice) {
  DriverStd driver;
  ASSERT_TRUE(driver.open(file_description(make_file("a.img", 1024)), OpenMode::Read));
  EXPECT_FALSE(driver.open(file_description(dir.file("missing.img")), OpenMode::Read));
  char buffer[512];
  EXPECT_EQ(0u, driver.read_sectors(0, 1, buffer));
  log.clear();
  EXPECT_FALSE(driver.sync());
  EXPECT_EQ("DriverStd.cpp(112)\n", log.text());
}

TEST_F(DriverStdTest, TransferLimitFollowsTheDevice) {
  config::Value raw = file_description("x", "drive");
  config::Value raw4k = raw;
  raw4k.set("sectorSize", 4096);
  EXPECT_EQ(dt::FileStd::max_transfer, DriverStd::transfer_limit(file_description("x")));
  EXPECT_EQ(512u * 65536, DriverStd::transfer_limit(raw));
  EXPECT_EQ(4096u * 65536, DriverStd::transfer_limit(raw4k));
  EXPECT_EQ(std::numeric_limits<std::uint64_t>::max(),
            DriverStd::transfer_limit(emulator_description("[]", "")));
}

TEST(DriverEmulator, RefusesBadDescriptions) {
  const struct {
    std::string good;
    long long sectorSize;
    const char* error;
  } cases[] = {
      {"[[0,10]]", 0, "DriverEmulator.cpp(14)"},    {"[[0]]", 512, "DriverEmulator.cpp(17)"},
      {"[[0,1,2]]", 512, "DriverEmulator.cpp(17)"}, {"[5]", 512, "DriverEmulator.cpp(17)"},
      {"[[0,10],[5,10]]", 512, "Ranges.cpp(39)"},   {"[[5,10],[0,10]]", 512, "Ranges.cpp(29)"},
      {"[[0,0]]", 512, "Ranges.cpp(23)"},
  };
  for (const auto& c : cases) {
    const config::Value description = emulator_description(c.good, "p", c.sectorSize);
    try {
      DriverEmulator emulator(description.get("emulator"), c.sectorSize);
      ADD_FAILURE() << c.good << " accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(c.error, e.what()) << c.good;
    }
  }
}

// Each transfer of the emulated device takes a second, so this walks the cases in one test.
TEST(DriverEmulator, TransfersStopAtTheEndOfAGoodRange) {
  DriverStd driver;
  ASSERT_TRUE(driver.open(emulator_description("[[0,100]]", "abc"), OpenMode::Read));
  std::string buffer(20 * 512, 'u');
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(10u, driver.read_sectors(90, 20, buffer.data()));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(990));
  // Each sector read restarts the pattern; what was not read is untouched.
  std::string sector;
  for (int i = 0; i < 170; ++i)
    sector += "abc";
  sector += "ab";
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(sector, buffer.substr(i * 512, 512)) << "sector " << i;
  EXPECT_EQ(std::string(10 * 512, 'u'), buffer.substr(10 * 512));
  EXPECT_EQ(0u, driver.read_sectors(100, 1, buffer.data()));
  EXPECT_EQ(2u, driver.write_sectors(98, 5, buffer.data()));

  ASSERT_TRUE(driver.open(emulator_description("[[0,10],[10,5]]", ""), OpenMode::Read));
  EXPECT_EQ(5u, driver.read_sectors(8, 5, buffer.data()));
  EXPECT_EQ(std::string(5 * 512, '\0'), buffer.substr(0, 5 * 512));
}

} // namespace
