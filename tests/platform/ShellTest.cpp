#include "Win32.h"

#include "Script.h"
#include "TempDir.h"
#include "TestMachine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <unistd.h>

namespace {

// A program that writes its arguments, one per line, and its working folder to `record`.
class ShellOpenProgram : public ::testing::Test {
protected:
  void SetUp() override {
    program = dir.file("tool");
    record = dir.file("record");
    write_recording_script(program, "for a in \"$@\"; do echo \"$a\"; done; pwd", record);
    setenv("CVW_SHELL_OPEN", "cvw-no-such-opener", 1);
  }
  void TearDown() override { unsetenv("CVW_SHELL_OPEN"); }

  TempDir dir;
  std::string program, record;
};

} // namespace

TEST_F(ShellOpenProgram, AnExecutableIsStartedItselfWithItsParameters) {
  TempDir work;
  EXPECT_GT(ShellExecuteA(nullptr, "open", program.c_str(), "one 'two words'", work.path().c_str(),
                          SW_SHOWNORMAL),
            32);
  EXPECT_EQ(wait_for_file(record), "one\ntwo words\n" + work.path().string() + "\n");
}

TEST_F(ShellOpenProgram, OtherFilesStillGoToTheOpener) {
  // Not executable: handed to the opener, which does not exist here.
  std::filesystem::permissions(program, std::filesystem::perms::owner_read |
                                            std::filesystem::perms::owner_write);
  EXPECT_EQ(ShellExecuteA(nullptr, "open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL),
            SE_ERR_NOASSOC);
  // A folder is no program either.
  EXPECT_EQ(ShellExecuteA(nullptr, "open", dir.path().c_str(), nullptr, nullptr, SW_SHOWNORMAL),
            SE_ERR_NOASSOC);
  EXPECT_FALSE(std::filesystem::exists(record));
}

// The rights to the drives: root on the real machine, anybody on a simulated one.
TEST(IsUserAnAdmin, RootOnTheRealMachineAnybodyOnASimulatedOne) {
  {
    ScopedEnvironment real("CVW_MACHINE", std::nullopt);
    EXPECT_EQ(IsUserAnAdmin() != FALSE, geteuid() == 0);
  }
  {
    ScopedEnvironment empty("CVW_MACHINE", std::string());
    EXPECT_EQ(IsUserAnAdmin() != FALSE, geteuid() == 0);
  }
  ScopedEnvironment simulated("CVW_MACHINE", "/nonexistent/machine.cfg");
  EXPECT_TRUE(IsUserAnAdmin());
}
