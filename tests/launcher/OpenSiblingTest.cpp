#include "OpenSibling.h"

#include "Script.h"
#include "TempDir.h"
#include "Win32Process.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

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

namespace {

// A program directory with a stand-in desktop program that writes down that it ran, and with
// how many arguments, and the launcher under the name that opens it.
class LauncherRun : public ::testing::Test {
protected:
  void SetUp() override {
    record = dir.file("ran");
    write_recording_script(dir.file("wipedesk"), "echo \"ran $#\"", record);
    std::filesystem::copy_file(CVW_LAUNCHER, dir.file("wipedesk Start"));
  }

  // Runs `program` with the arguments and returns its exit code; `path`, when given, is the
  // PATH searched for it.
  int run(const std::string& program, std::vector<std::string> arguments = {},
          const char* path = nullptr) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    gchar** environment = g_get_environ();
    if (path != nullptr)
      environment = g_environ_setenv(environment, "PATH", path, TRUE);
    int status = 0;
    EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), environment,
                             path != nullptr ? G_SPAWN_SEARCH_PATH_FROM_ENVP : G_SPAWN_DEFAULT,
                             nullptr, nullptr, nullptr, nullptr, &status, nullptr));
    g_strfreev(environment);
    return platform::exit_status(status);
  }

  TempDir dir;
  std::string record;
};

} // namespace

TEST_F(LauncherRun, StartsTheProgramBesideItWithoutArguments) {
  EXPECT_EQ(run(dir.file("wipedesk Start"), {"dbg=stderr", "more"}), 0);
  EXPECT_EQ(wait_for_file(record), "ran 0\n");
}

// A shell that finds the launcher along PATH passes only its name.
TEST_F(LauncherRun, StartedAlongThePathItStillFindsItsFolder) {
  const std::string path = dir.path().string() + ":" + g_getenv("PATH");
  EXPECT_EQ(run("wipedesk Start", {}, path.c_str()), 0);
  EXPECT_EQ(wait_for_file(record), "ran 0\n");
}

TEST_F(LauncherRun, OpensNothingUnderAnotherNameOrWithoutTheProgram) {
  std::filesystem::copy_file(CVW_LAUNCHER, dir.file("wipedesk-start"));
  EXPECT_EQ(run(dir.file("wipedesk-start")), 255);
  std::filesystem::remove(dir.file("wipedesk"));
  EXPECT_EQ(run(dir.file("wipedesk Start")), 255);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::filesystem::exists(record));
}
