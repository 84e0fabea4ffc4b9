// The launcher as a process: in a program directory beside a stand-in desktop program, run by
// root and by an ordinary user, with a scripted pkexec earlier on PATH.
#include "Files.h"
#include "Script.h"
#include "TempDir.h"
#include "Win32Process.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* nobody = "65534";

// A program directory with the launcher under the name that opens "wipedesk", a stand-in
// "wipedesk" that writes down how it ran (its arguments, user and display and language
// variables) into out/ran, and a scripted pkexec in bin/ that writes its arguments into
// out/pkexec, one a line, then ends with $PKEXEC_EXIT when that is set, or else runs them in a
// cleared environment as the real one does. Every folder is open to the ordinary user.
class LauncherRun : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(dir.path() / "bin");
    fs::create_directories(dir.path() / "out");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(dir.path() / "bin", fs::perms::all);
    fs::permissions(dir.path() / "out", fs::perms::all);
    script("wipedesk", "{ echo \"ran $#\"; id -u; for v in DISPLAY XAUTHORITY LANG LANGUAGE "
                       "LC_TIME OTHER; do eval \"echo $v=\\${$v-unset}\"; done; } > " +
                           out("ran") + ".tmp && mv " + out("ran") + ".tmp " + out("ran"));
    script("bin/pkexec", "for a in \"$@\"; do echo \"$a\"; done > " + out("pkexec") +
                             "\n[ -n \"$PKEXEC_EXIT\" ] && exit \"$PKEXEC_EXIT\"\n"
                             "exec /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \"$@\"");
    fs::copy_file(CVW_LAUNCHER, dir.file("wipedesk Start"));
    fs::permissions(dir.file("wipedesk Start"),
                    fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
  }

  void script(const std::string& name, const std::string& commands) {
    const std::string text = "#!/bin/sh\n" + commands + "\n";
    ASSERT_TRUE(write_file(dir.file(name), text.data(), text.size()));
    fs::permissions(dir.file(name), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
  }

  std::string out(const std::string& name) const { return (dir.path() / "out" / name).string(); }

  // The lines of out/<name>; empty when it is not there.
  std::vector<std::string> lines(const std::string& name) const {
    std::string text;
    if (!read_file(out(name), text))
      return {};
    gchar** split = g_strsplit(text.c_str(), "\n", -1);
    std::vector<std::string> result;
    for (gchar** line = split; *line != nullptr; ++line)
      if (**line != '\0')
        result.push_back(*line);
    g_strfreev(split);
    return result;
  }

  // Runs `command` (its program relative to the program directory, the working directory) with
  // `variables` set (an empty value: unset) and bin/ first on PATH; as the ordinary user when
  // `ordinary`. Returns the exit code; its standard error goes to `error`.
  int run(const std::vector<std::string>& command,
          const std::map<std::string, std::string>& variables, bool ordinary,
          std::string* error = nullptr, const std::string& path = "") {
    std::vector<std::string> arguments;
    if (ordinary && geteuid() == 0)
      arguments = {"setpriv", "--reuid", nobody, "--regid", nobody, "--clear-groups", "--"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    gchar** environment = g_get_environ();
    for (const char* name : {"CVW_MACHINE", "DISPLAY", "XAUTHORITY", "PKEXEC_EXIT"})
      environment = g_environ_unsetenv(environment, name);
    const std::string searched =
        dir.file("bin") + ":" + (path.empty() ? std::string(g_getenv("PATH")) : path);
    environment = g_environ_setenv(environment, "PATH", searched.c_str(), TRUE);
    for (const auto& [name, value] : variables)
      environment = value.empty()
                        ? g_environ_unsetenv(environment, name.c_str())
                        : g_environ_setenv(environment, name.c_str(), value.c_str(), TRUE);
    int status = 0;
    gchar* standardError = nullptr;
    EXPECT_TRUE(g_spawn_sync(dir.path().c_str(), argv.data(), environment,
                             G_SPAWN_SEARCH_PATH_FROM_ENVP, nullptr, nullptr, nullptr,
                             &standardError, &status, nullptr));
    g_strfreev(environment);
    if (error != nullptr)
      *error = standardError != nullptr ? standardError : "";
    g_free(standardError);
    return platform::exit_status(status);
  }

  static bool can_be_an_ordinary_user() {
    if (geteuid() != 0)
      return true;
    gchar* setpriv = g_find_program_in_path("setpriv");
    g_free(setpriv);
    return setpriv != nullptr;
  }

  TempDir dir;
};

} // namespace

// Root opens the program itself, at once and without asking; arguments are not passed on.
TEST_F(LauncherRun, AsRootItStartsTheProgramBesideIt) {
  if (geteuid() != 0)
    GTEST_SKIP() << "not root";
  EXPECT_EQ(run({"./wipedesk Start", "dbg=stderr", "more"}, {}, false), 0);
  EXPECT_EQ(wait_for_file(out("ran")).substr(0, 8), "ran 0\n0\n");
  EXPECT_TRUE(lines("pkexec").empty()) << "root needs no pkexec";
}

// A shell that finds the launcher along PATH passes only its name.
TEST_F(LauncherRun, StartedAlongThePathItStillFindsItsFolder) {
  const std::string path = dir.path().string() + ":" + g_getenv("PATH");
  EXPECT_EQ(run({"wipedesk Start"}, {}, false, nullptr, path), 0);
  EXPECT_EQ(wait_for_file(out("ran")).substr(0, 6), "ran 0\n");
}

TEST_F(LauncherRun, OpensNothingUnderAnotherNameOrWithoutTheProgram) {
  fs::copy_file(CVW_LAUNCHER, dir.file("wipedesk-start"));
  for (bool ordinary : {false, true}) {
    if (ordinary && !can_be_an_ordinary_user())
      continue;
    EXPECT_EQ(run({"./wipedesk-start"}, {}, ordinary), 255);
  }
  fs::remove(dir.file("wipedesk"));
  EXPECT_EQ(run({"./wipedesk Start"}, {}, false), 255);
  if (can_be_an_ordinary_user()) {
    EXPECT_EQ(run({"./wipedesk Start"}, {}, true), 255);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(out("ran")));
  EXPECT_FALSE(fs::exists(out("pkexec")));
}

// An ordinary user's launcher asks through pkexec for the program's absolute path, passing
// the display and language variables through env, and nothing else; the program then runs
// with them in pkexec's cleared environment. The launcher ends when the program has.
TEST_F(LauncherRun, AnOrdinaryUserAsksThroughPkexec) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  std::string error;
  EXPECT_EQ(run({"./wipedesk Start", "dbg=stderr"},
                {{"DISPLAY", ":42"},
                 {"XAUTHORITY", "/run/user/1000/xauth"},
                 {"LANG", "de_DE.UTF-8"},
                 {"LANGUAGE", "de:en"},
                 {"LC_TIME", "en_GB.UTF-8"},
                 {"OTHER", "not passed"}},
                true, &error),
            0)
      << error;
  std::vector<std::string> asked = lines("pkexec");
  ASSERT_EQ(asked.size(), 7u);
  EXPECT_EQ(asked.front(), "env");
  EXPECT_EQ(asked.back(), dir.file("wipedesk"));
  std::vector<std::string> variables(asked.begin() + 1, asked.end() - 1);
  std::sort(variables.begin(), variables.end());
  EXPECT_EQ(variables,
            (std::vector<std::string>{"DISPLAY=:42", "LANG=de_DE.UTF-8", "LANGUAGE=de:en",
                                      "LC_TIME=en_GB.UTF-8", "XAUTHORITY=/run/user/1000/xauth"}));
  EXPECT_EQ(lines("ran"), (std::vector<std::string>{
                              "ran 0", geteuid() == 0 ? nobody : std::to_string(geteuid()),
                              "DISPLAY=:42", "XAUTHORITY=/run/user/1000/xauth", "LANG=de_DE.UTF-8",
                              "LANGUAGE=de:en", "LC_TIME=en_GB.UTF-8", "OTHER=unset"}));
  EXPECT_EQ(error, "");
}

// Without pkexec, or when the operator cancels or is refused, the launcher says why (on
// standard error here, where there is no display for its message box) and fails.
TEST_F(LauncherRun, RightsThatCannotBeHadAreToldAndFail) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  const struct {
    const char* exit; // null: no pkexec along PATH
    const char* told;
  } cases[] = {
      {"126", "wipedesk was not started: the request for administrator rights was cancelled.\n"},
      {"127", "wipedesk was not started: administrator rights were not granted.\n"},
      {nullptr, "wipedesk needs administrator rights to reach the drives, and pkexec, which asks "
                "for them, is not installed.\n\nInstall pkexec (polkit), or start wipedesk as "
                "root, for example with sudo.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exit != nullptr ? c.exit : "no pkexec");
    if (c.exit == nullptr)
      fs::remove(dir.file("bin/pkexec"));
    std::string error;
    EXPECT_EQ(run({"./wipedesk Start"},
                  {{"PKEXEC_EXIT", c.exit != nullptr ? c.exit : ""}, {"LANGUAGE", "en"}}, true,
                  &error),
              255);
    EXPECT_EQ(error, c.told);
    EXPECT_FALSE(fs::exists(out("ran")));
  }
}
