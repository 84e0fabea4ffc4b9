#include "OpenSibling.h"

#include "Win32Process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The last request the stand-in shell got.
struct Request {
  int calls = 0;
  HWND window = nullptr;
  std::string verb, file;
  bool parameters = false, directory = false;
  int show = 0;
};
Request request;
HINSTANCE shell_result = 42;

HINSTANCE stand_in_shell(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                         int show) {
  ++request.calls;
  request.window = window;
  request.verb = verb;
  request.file = file;
  request.parameters = parameters != nullptr;
  request.directory = directory != nullptr;
  request.show = show;
  return shell_result;
}

} // namespace

TEST(OpenSibling, TheLaunchersNameNamesTheProgram) {
  const struct {
    const char* path;
    const char* ending;
    const char* replacement;
    const char* opened; // nullptr: nothing is opened
  } cases[] = {
      {"C:\\Tools\\Tool Start.exe", " Start.exe", ".exe", "C:\\Tools\\Tool.exe"},
      {" Start.exe", " Start.exe", ".exe", ".exe"},
      {"C:\\Tools\\Tool start.exe", " Start.exe", ".exe", nullptr},
      {"C:\\Tools\\Tool Start.EXE", " Start.exe", ".exe", nullptr},
      {"C:\\Tools\\Tool Start", " Start.exe", ".exe", nullptr},
      {"Start.exe", " Start.exe", ".exe", nullptr},
      {"C:\\Tools\\ToolStart.exe", " Start.exe", ".exe", nullptr},
      {"/opt/cvw/wipedesk Start", launcher_ending, launcher_replacement, "/opt/cvw/wipedesk"},
      {"wipedesk Start", launcher_ending, launcher_replacement, "wipedesk"},
      {"/opt/cvw/wipedesk start", launcher_ending, launcher_replacement, nullptr},
      {"/opt/cvw/wipelaunch", launcher_ending, launcher_replacement, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    request = Request();
    shell_result = 42;
    const int result = open_sibling_program(c.path, c.ending, c.replacement, stand_in_shell);
    if (c.opened == nullptr) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(request.calls, 0);
      continue;
    }
    EXPECT_EQ(result, 0);
    ASSERT_EQ(request.calls, 1);
    EXPECT_EQ(request.file, c.opened);
    EXPECT_EQ(request.verb, "open");
    EXPECT_EQ(request.window, nullptr);
    EXPECT_FALSE(request.parameters);
    EXPECT_FALSE(request.directory);
    EXPECT_EQ(request.show, SW_SHOWNORMAL);
  }
}

TEST(OpenSibling, AShellThatRefusesMakesTheLauncherFail) {
  for (HINSTANCE refused : {HINSTANCE(0), HINSTANCE(2), HINSTANCE(31), HINSTANCE(32)}) {
    shell_result = refused;
    EXPECT_EQ(open_sibling_program("a Start.exe", " Start.exe", ".exe", stand_in_shell), -1);
  }
  shell_result = 33;
  EXPECT_EQ(open_sibling_program("a Start.exe", " Start.exe", ".exe", stand_in_shell), 0);
}

// Under its own name the launcher opens wipedesk beside it; the naming rule holds under any
// other.
TEST(OpenSibling, UnderItsOwnNameTheLauncherOpensWipedesk) {
  const struct {
    const char* launcher;
    const char* program; // empty: none
  } cases[] = {
      {"/opt/cvw/wipelaunch", "/opt/cvw/wipedesk"},
      {"wipelaunch", "wipedesk"},
      {"/opt/cvw/wipedesk Start", "/opt/cvw/wipedesk"},
      {"/opt/cvw/Tool Start", "/opt/cvw/Tool"},
      {"/opt/cvw/xwipelaunch", ""},
      {"/opt/cvw/wipelaunch2", ""},
      {"/opt/wipelaunch/other", ""},
      {"/opt/cvw/wipelaunch Start", "/opt/cvw/wipelaunch"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(launched_program(c.launcher), c.program) << c.launcher;
}
