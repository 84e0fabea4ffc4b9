#include "DeviceMapping.h"

#include "LogCapture.h"
#include "TestMachine.h"
#include "Win32Handle.h"

#include <gtest/gtest.h>

namespace {

std::string entries(const DeviceMapping& mapping) {
  std::string text;
  for (std::uint32_t i = 0; i < mapping.size(); ++i) {
    const DeviceMapping::Entry& entry = mapping.entry(i);
    text += std::string(1, entry.letter) + "=" + std::to_string(entry.deviceType) + "/" +
            std::to_string(entry.deviceNumber) + "/" + std::to_string(entry.partitionNumber) + " ";
  }
  return text;
}

std::string letters_of(const DeviceMapping& mapping, const char* path) {
  Win32Handle device = Win32Handle::open(path, 0);
  return device.valid() ? mapping.letters(device.get()) : "(cannot open)";
}

} // namespace

TEST(DeviceMapping, LeavesOutTheFloppyLetters) {
  TestMachine machine(machine_file("letters-a-d.cfg"));
  LogCapture log;
  DeviceMapping mapping;
  EXPECT_EQ(entries(mapping), "D=7/0/1 ");
  EXPECT_EQ(log.text(), ""); // A is never asked
}

TEST(DeviceMapping, LettersOfDisksAndVolumes) {
  TestMachine machine(machine_file("two-disks.cfg"));
  LogCapture log;
  DeviceMapping mapping;
  EXPECT_EQ(entries(mapping), "D=7/0/2 E=7/0/1 G=7/1/1 H=7/1/1 ");
  EXPECT_EQ(letters_of(mapping, R"(\\.\PhysicalDrive0)"), "DE");
  EXPECT_EQ(letters_of(mapping, R"(\\.\E:)"), "E");
  EXPECT_EQ(letters_of(mapping, R"(\\?\Volume{11111111-0000-4000-8000-000000000002})"), "D");
  EXPECT_EQ(letters_of(mapping, R"(\\?\Volume{11111111-0000-4000-8000-000000000003})"), "");
  EXPECT_EQ(letters_of(mapping, R"(\\.\PhysicalDrive1)"), "GH");
  EXPECT_EQ(letters_of(mapping, R"(\\.\G:)"), "GH"); // both letters name one volume
  EXPECT_EQ(log.text(), "");

  // A snapshot: a letter removed later is still in it, not in a new one.
  ASSERT_TRUE(DeleteVolumeMountPointA(R"(\\.\E:\)"));
  EXPECT_EQ(letters_of(mapping, R"(\\.\PhysicalDrive0)"), "DE");
  EXPECT_EQ(letters_of(DeviceMapping(), R"(\\.\PhysicalDrive0)"), "D");
}

TEST(DeviceMapping, LeavesOutLettersThatCannotBeAsked) {
  TestMachine machine(machine_file("failures.cfg"));
  LogCapture log;
  DeviceMapping mapping;
  EXPECT_EQ(entries(mapping), "L=7/1/1 ");
  EXPECT_EQ(log.text(), "DeviceMapping.cpp(71)\nDeviceMapping.cpp(57)\n"
                        "DeviceMapping.cpp(16): \\\\.\\N:\n"
                        "DeviceMapping.cpp(52)\nDeviceMapping.cpp(16): \\\\.\\O:\n"
                        "DeviceMapping.cpp(71)\nDeviceMapping.cpp(57)\n"
                        "DeviceMapping.cpp(16): \\\\.\\S:\n"
                        "DeviceMapping.cpp(52)\nDeviceMapping.cpp(16): \\\\.\\Z:\n");
  log.clear();
  EXPECT_EQ(letters_of(mapping, R"(\\.\S:)"), "");
  EXPECT_EQ(log.text(), "DeviceMapping.cpp(71)\nDeviceMapping.cpp(30)\n");
  EXPECT_EQ(letters_of(mapping, R"(\\.\PhysicalDrive1)"), "L");
}
