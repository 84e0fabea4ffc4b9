// The fixture of the tests on the real Linux machine: a loop device of 64 MiB with the sector
// size of the test's parameter, set up for the test and removed after it, as the machine's last
// physical drive, with no simulated machine chosen. Without root or a loop driver the test skips
// with the reason. A test writes to no device but this one.
#pragma once

#include "LinuxMachine.h"
#include "LoopDevice.h"
#include "TestMachine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class LoopDriveTest : public ::testing::TestWithParam<unsigned> {
protected:
  void SetUp() override {
    loop = std::make_unique<LoopDevice>(64 * 1048576, GetParam());
    if (!loop->why_not().empty())
      GTEST_SKIP() << loop->why_not();
    loops = std::make_unique<ScopedEnvironment>("CVW_LOOP_DEVICES", loop->name());
    const std::vector<std::string> names = platform::linux_drive_names();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(names.back(), loop->name());
    number = static_cast<unsigned>(names.size() - 1);
    path = "\\\\.\\PhysicalDrive" + std::to_string(number);
  }

  ScopedEnvironment noMachine{"CVW_MACHINE", std::nullopt};
  std::unique_ptr<LoopDevice> loop;
  std::unique_ptr<ScopedEnvironment> loops;
  // The loop device's drive: its number and its path ("\\.\PhysicalDrive<number>").
  unsigned number = 0;
  std::string path;
};
