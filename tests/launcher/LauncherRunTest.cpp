// The launcher as a process, run by root and by an ordinary user, in a world that each test
// makes: a program directory with the launcher under its names beside a stand-in desktop
// program, a PATH of the test's own folders alone (with a scripted pkexec, or without one), a
// home folder and a polkit folder of its own.
#include "Files.h"
#include "Script.h"
#include "TempDir.h"
#include "Win32Process.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* nobody = "65534";
constexpr const char* setpriv = "/usr/bin/setpriv";

// Whether the launcher's PATH holds the scripted pkexec.
enum class Pkexec { OnPath, Absent };

void PrintTo(Pkexec pkexec, std::ostream* stream) {
  *stream << (pkexec == Pkexec::OnPath ? "pkexec on PATH" : "no pkexec");
}

// Who runs the launcher: the test's own user, or an ordinary one (when the test is root).
enum class As { Caller, OrdinaryUser };

// What a run of the launcher left.
struct Outcome {
  int code = -1;
  std::string output; // its standard output
  std::string errors; // its standard error
};

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const char* const recorded = "DISPLAY XAUTHORITY LANG LANGUAGE LC_TIME LC_ALL OTHER";

// The program directory and its world. The stand-in "wipedesk" writes down how it ran (its
// argument count, user, and display and language variables) into out/ran; with a file "late"
// beside it, a child of it writes "late" to standard error a second after it ended. The
// scripted pkexec in bin/ writes its arguments into out/pkexec, one a line, and what it got of
// those variables into out/pkexec-env; then writes $PKEXEC_SAY to standard error, leaves a
// child that holds standard error for 30 s when $PKEXEC_HOLD is set (its id in out/holder),
// and ends with $PKEXEC_EXIT when that is set. Else it runs "env ..." in a cleared environment,
// or the program alone with the display and language variables, as pkexec does under an action
// that keeps the display. Every folder is open to the ordinary user.
class LauncherRun : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* folder : {"bin", "out", "polkit", "home", "elsewhere"})
      fs::create_directories(dir.path() / folder);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(dir.path() / "out", fs::perms::all);
    script("wipedesk", "{ echo \"ran $#\"; /usr/bin/id -u; for v in " + std::string(recorded) +
                           "; do eval \"echo $v=\\${$v-unset}\"; done; } > " + out("ran") +
                           ".tmp && /bin/mv " + out("ran") + ".tmp " + out("ran") + "\n[ -f " +
                           dir.file("late") +
                           " ] && ( /bin/sleep 1; echo late >&2 ) >/dev/null &\nexit 0");
    script("bin/pkexec",
           "for a in \"$@\"; do echo \"$a\"; done > " + out("pkexec") + "\nfor v in " + recorded +
               "; do eval \"echo $v=\\${$v-unset}\"; done > " + out("pkexec-env") +
               "\n[ -n \"$PKEXEC_SAY\" ] && printf '%s' \"$PKEXEC_SAY\" >&2"
               "\n[ -n \"$PKEXEC_HOLD\" ] && { /bin/sleep 30 >/dev/null & echo $! > " +
               out("holder") +
               "; }"
               "\n[ -n \"$PKEXEC_EXIT\" ] && exit \"$PKEXEC_EXIT\""
               "\n[ \"$1\" = env ] && exec /usr/bin/env -i PATH=/usr/bin:/bin \"$@\""
               "\nexec /usr/bin/env -i PATH=/usr/bin:/bin ${DISPLAY+\"DISPLAY=$DISPLAY\"} "
               "${XAUTHORITY+\"XAUTHORITY=$XAUTHORITY\"} ${LANG+\"LANG=$LANG\"} "
               "${LANGUAGE+\"LANGUAGE=$LANGUAGE\"} ${LC_TIME+\"LC_TIME=$LC_TIME\"} "
               "${LC_ALL+\"LC_ALL=$LC_ALL\"} \"$1\"");
    for (const char* name : {"wipedesk Start", "wipelaunch"}) {
      fs::copy_file(CVW_LAUNCHER, dir.file(name));
      fs::permissions(dir.file(name),
                      fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    }
    program = fs::canonical(dir.path() / "wipedesk").string();
  }

  void TearDown() override {
    std::string holder;
    if (read_file(out("holder"), holder) && std::atoi(holder.c_str()) > 0)
      kill(std::atoi(holder.c_str()), SIGKILL);
  }

  void script(const std::string& name, const std::string& commands) {
    const std::string text = "#!/bin/sh\n" + commands + "\n";
    ASSERT_TRUE(write_file(dir.file(name), text.data(), text.size()));
    fs::permissions(dir.file(name), fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
  }

  void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(write_file(dir.file(name), text.data(), text.size()));
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

  // Runs `command` (its program relative to the program directory, the working directory) in
  // the test's world: PATH `path` (the test's bin/ when empty), HOME and the polkit folder the
  // test's, and `variables` on top (an empty value: unset).
  Outcome run(const std::vector<std::string>& command,
              const std::map<std::string, std::string>& variables = {}, As as = As::Caller,
              const std::string& path = "") {
    std::vector<std::string> arguments;
    if (as == As::OrdinaryUser && geteuid() == 0)
      arguments = {setpriv, "--reuid", nobody, "--regid", nobody, "--clear-groups", "--"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    gchar** environment = nullptr;
    environment = g_environ_setenv(environment, "PATH",
                                   path.empty() ? dir.file("bin").c_str() : path.c_str(), TRUE);
    environment = g_environ_setenv(environment, "HOME", dir.file("home").c_str(), TRUE);
    environment =
        g_environ_setenv(environment, "CVW_POLKIT_ACTIONS", dir.file("polkit").c_str(), TRUE);
    // The sanitizer build's settings are the build's, not the host's.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* value = g_getenv(name))
        environment = g_environ_setenv(environment, name, value, TRUE);
    for (const auto& [name, value] : variables)
      environment = value.empty()
                        ? g_environ_unsetenv(environment, name.c_str())
                        : g_environ_setenv(environment, name.c_str(), value.c_str(), TRUE);
    int status = 0;
    gchar* output = nullptr;
    gchar* errors = nullptr;
    EXPECT_TRUE(g_spawn_sync(dir.path().c_str(), argv.data(), environment,
                             G_SPAWN_SEARCH_PATH_FROM_ENVP, nullptr, nullptr, &output, &errors,
                             &status, nullptr));
    g_strfreev(environment);
    Outcome outcome;
    outcome.code = platform::exit_status(status);
    outcome.output = output != nullptr ? output : "";
    outcome.errors = errors != nullptr ? errors : "";
    g_free(output);
    g_free(errors);
    return outcome;
  }

  static bool can_be_an_ordinary_user() {
    return geteuid() != 0 || g_file_test(setpriv, G_FILE_TEST_IS_EXECUTABLE);
  }

  // The user id that an ordinary run has.
  static std::string ordinary_id() { return geteuid() == 0 ? nobody : std::to_string(geteuid()); }

  TempDir dir;
  std::string program; // the stand-in wipedesk, its path without links
};

// The tests that run once with pkexec on the launcher's PATH and once without.
class LauncherRunEither : public LauncherRun, public ::testing::WithParamInterface<Pkexec> {
protected:
  void SetUp() override {
    LauncherRun::SetUp();
    if (GetParam() == Pkexec::Absent)
      fs::remove(dir.file("bin/pkexec"));
  }
};

const std::string no_pkexec_text =
    "wipedesk needs administrator rights to reach the drives, and pkexec, which asks for them, "
    "is not installed.\n\nInstall pkexec (polkit), or start wipedesk as root, for example with "
    "sudo.\n";

} // namespace

INSTANTIATE_TEST_SUITE_P(Pkexec, LauncherRunEither,
                         ::testing::Values(Pkexec::OnPath, Pkexec::Absent),
                         [](const ::testing::TestParamInfo<Pkexec>& info) {
                           return info.param == Pkexec::OnPath ? "OnPath" : "Absent";
                         });

// Root opens the program itself, at once and without asking, under either name of the launcher
// and through a link to it from another folder; arguments are not passed on.
TEST_P(LauncherRunEither, AsRootItStartsTheProgramBesideIt) {
  if (geteuid() != 0)
    GTEST_SKIP() << "not root";
  fs::create_symlink("../wipelaunch", dir.path() / "elsewhere" / "wipelaunch");
  const std::vector<std::string> commands[] = {
      {"./wipedesk Start", "dbg=stderr", "more"}, {"./wipelaunch"}, {"elsewhere/wipelaunch"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0]);
    fs::remove(out("ran"));
    const Outcome outcome = run(command);
    EXPECT_EQ(outcome.code, 0) << outcome.errors;
    EXPECT_EQ(wait_for_file(out("ran")).substr(0, 8), "ran 0\n0\n");
    EXPECT_NE(outcome.errors.find("Launch.cpp(34): opening " + program + "\n"), std::string::npos)
        << outcome.errors;
    EXPECT_TRUE(lines("pkexec").empty()) << "root needs no pkexec";
  }
}

// A shell that finds the launcher along PATH passes only its name.
TEST_F(LauncherRun, StartedAlongThePathItStillFindsItsFolder) {
  const std::string path = dir.path().string() + ":" + dir.file("bin");
  for (const char* name : {"wipedesk Start", "wipelaunch"}) {
    SCOPED_TRACE(name);
    fs::remove(out("ran"));
    const Outcome outcome = run({name}, {}, As::Caller, path);
    EXPECT_EQ(outcome.code, 0) << outcome.errors;
    EXPECT_EQ(wait_for_file(out("ran")).substr(0, 6), "ran 0\n");
  }
}

// A launcher whose name names no program, or whose program is not there, says so and fails.
TEST_P(LauncherRunEither, SaysWhyItOpensNothingUnderAnotherNameOrWithoutTheProgram) {
  fs::copy_file(CVW_LAUNCHER, dir.file("wipedesk-start"));
  const std::string unknown = "wipedesk-start does not know which program to open. Named "
                              "wipelaunch it opens wipedesk beside it; named \"NAME Start\" it "
                              "opens NAME beside it.\n";
  const std::string missing = program +
                              " cannot be started: it is not there.\n\nThe launcher opens the "
                              "program that lies beside it; install the program again.\n";
  fs::remove(dir.file("wipedesk"));
  const struct {
    const char* command;
    const std::string& told;
  } cases[] = {
      {"./wipedesk-start", unknown}, {"./wipedesk Start", missing}, {"./wipelaunch", missing}};
  for (const auto& c : cases) {
    for (As as : {As::Caller, As::OrdinaryUser}) {
      if (as == As::OrdinaryUser && !can_be_an_ordinary_user())
        continue;
      SCOPED_TRACE(std::string(c.command) + (as == As::Caller ? " as the caller" : " as another"));
      const Outcome outcome = run({c.command}, {}, as);
      EXPECT_EQ(outcome.code, 255);
      EXPECT_TRUE(ends_with(outcome.errors, c.told)) << outcome.errors;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(out("ran")));
  EXPECT_FALSE(fs::exists(out("pkexec")));
}

// Where no polkit action names the program (the build tree), an ordinary user's launcher asks
// through pkexec for env, which gets the program's absolute path and the display and language
// variables that hold what they should, and nothing else; the program then runs with them in
// pkexec's cleared environment, and the launcher ends when it has. Without pkexec it says what
// to do.
TEST_P(LauncherRunEither, AnOrdinaryUserAsksThroughPkexec) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  const Outcome outcome = run({"./wipedesk Start", "dbg=stderr"},
                              {{"DISPLAY", ":42"},
                               {"XAUTHORITY", "/run/user/1000/xauth"},
                               {"LANG", "de_DE.UTF-8"},
                               {"LANGUAGE", "de:en"},
                               {"LC_TIME", "en_GB.UTF-8"},
                               {"LC_ALL", "../../home/op/locale"},
                               {"OTHER", "not passed"}},
                              As::OrdinaryUser);
  if (GetParam() == Pkexec::Absent) {
    EXPECT_EQ(outcome.code, 255);
    // GTK, which looks for a display for the box, complains of the bad LC_ALL after it.
    EXPECT_NE(outcome.errors.find(no_pkexec_text), std::string::npos) << outcome.errors;
    EXPECT_FALSE(fs::exists(out("ran")));
    return;
  }
  EXPECT_EQ(outcome.code, 0) << outcome.errors;
  std::vector<std::string> asked = lines("pkexec");
  ASSERT_EQ(asked.size(), 7u);
  EXPECT_EQ(asked.front(), "env");
  EXPECT_EQ(asked.back(), program);
  std::vector<std::string> variables(asked.begin() + 1, asked.end() - 1);
  std::sort(variables.begin(), variables.end());
  EXPECT_EQ(variables,
            (std::vector<std::string>{"DISPLAY=:42", "LANG=de_DE.UTF-8", "LANGUAGE=de:en",
                                      "LC_TIME=en_GB.UTF-8", "XAUTHORITY=/run/user/1000/xauth"}));
  EXPECT_EQ(lines("ran"),
            (std::vector<std::string>{"ran 0", ordinary_id(), "DISPLAY=:42",
                                      "XAUTHORITY=/run/user/1000/xauth", "LANG=de_DE.UTF-8",
                                      "LANGUAGE=de:en", "LC_TIME=en_GB.UTF-8", "LC_ALL=unset",
                                      "OTHER=unset"}));
  EXPECT_NE(outcome.errors.find("Elevation.cpp(257): pkexec env " + program +
                                ": no polkit action in " + dir.file("polkit") + " names it\n"),
            std::string::npos)
      << outcome.errors;
  EXPECT_NE(outcome.errors.find("Elevation.cpp(47): LC_ALL is not passed on"), std::string::npos)
      << outcome.errors;
}

// Where an installed action names the program by its own path and keeps the display, pkexec is
// asked for the program alone, so that its prompt shows the action's message; the display and
// the language reach the program through pkexec's environment. An action that does not keep the
// display, or that names a link, leaves the env way.
TEST_F(LauncherRun, AnInstalledActionLetsPkexecRunTheProgramByItsPath) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  ASSERT_TRUE(write_file(dir.file("home/.Xauthority"), "x", 1));
  fs::permissions(dir.path() / "home", fs::perms::all);
  std::string installed;
  ASSERT_TRUE(read_file(CVW_ACTION_TEMPLATE, installed));
  const std::string placeholder = "@CVW_PROGRAM@";
  installed.replace(installed.find(placeholder), placeholder.size(), program);
  const std::string gui =
      "<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>";
  std::string withoutDisplay = installed;
  withoutDisplay.erase(withoutDisplay.find(gui), gui.size());
  fs::create_symlink("../wipedesk", dir.path() / "elsewhere" / "wipedesk");
  std::string throughLink = installed;
  throughLink.replace(throughLink.find(program), program.size(), dir.file("elsewhere/wipedesk"));
  const struct {
    const char* name;
    const std::string& action;
    bool direct;
  } cases[] = {
      {"the installed action", installed, true},
      {"an action that does not keep the display", withoutDisplay, false},
      {"an action that names a link to the program", throughLink, false},
  };
  const std::string xauthority = "XAUTHORITY=" + dir.file("home/.Xauthority");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write("polkit/org.cvw.wipedesk.policy", c.action);
    fs::remove(out("ran"));
    const Outcome outcome = run({"./wipelaunch"},
                                {{"DISPLAY", ":7"},
                                 {"LANGUAGE", "de:en"},
                                 {"LC_TIME", "/tmp/x"},
                                 {"OTHER", "kept for pkexec"}},
                                As::OrdinaryUser);
    EXPECT_EQ(outcome.code, 0) << outcome.errors;
    if (c.direct) {
      EXPECT_EQ(lines("pkexec"), std::vector<std::string>{program});
      EXPECT_EQ(
          lines("pkexec-env"),
          (std::vector<std::string>{"DISPLAY=:7", xauthority, "LANG=unset", "LANGUAGE=de:en",
                                    "LC_TIME=unset", "LC_ALL=unset", "OTHER=kept for pkexec"}));
      EXPECT_NE(outcome.errors.find("Elevation.cpp(268): pkexec " + program +
                                    ": the polkit action org.cvw.wipedesk of " +
                                    dir.file("polkit/org.cvw.wipedesk.policy") + " names it\n"),
                std::string::npos)
          << outcome.errors;
    } else {
      EXPECT_EQ(lines("pkexec"), (std::vector<std::string>{"env", "DISPLAY=:7", "LANGUAGE=de:en",
                                                           xauthority, program}));
    }
    EXPECT_EQ(lines("ran"), (std::vector<std::string>{
                                "ran 0", ordinary_id(), "DISPLAY=:7", xauthority, "LANG=unset",
                                "LANGUAGE=de:en", "LC_TIME=unset", "LC_ALL=unset", "OTHER=unset"}));
  }
}

// When the rights cannot be had the launcher says why in pkexec's own words (on standard error
// here, where there is no display for its message box), says what to do, and fails.
TEST_F(LauncherRun, RightsThatCannotBeHadAreToldInPkexecsWords) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  std::string noise;
  for (int i = 0; i < 50; ++i)
    noise += "polkit-agent-helper-1: line " + std::to_string(i) + "\n";
  const std::string refused = "wipedesk was not started: administrator rights were not granted.";
  const std::string refusedAdvice =
      "\n\nStart wipedesk on the desktop of a user who may administer this computer, whose "
      "authentication agent asks for the password, or ask an administrator to start it.\n";
  const struct {
    const char* name;
    const char* exit;
    std::string said;
    std::string told;
  } cases[] = {
      {"no authentication agent", "127",
       "Error executing command as another user: No authentication agent found.\n",
       "wipedesk was not started: it needs administrator rights, and this desktop runs no "
       "program that asks for the administrator's password (a polkit authentication agent).\n\n"
       "Start wipedesk from a desktop session that asks for passwords, or start a polkit "
       "authentication agent in this one and start wipedesk again, or start wipedesk as root, "
       "for example with sudo from a terminal.\n\npkexec said: Error executing command as "
       "another user: No authentication agent found.\n"},
      {"not authorised", "127",
       "Error executing command as another user: Not authorized\n\nThis incident has been "
       "reported.\n",
       refused +
           "\n\npkexec said: Error executing command as another user: Not authorized\nThis "
           "incident has been reported." +
           refusedAdvice},
      {"the last lines of many", "127", noise + "==== AUTHENTICATION FAILED ===\r\nlast words",
       refused +
           "\n\npkexec said: polkit-agent-helper-1: line 49\n==== AUTHENTICATION FAILED "
           "===\nlast words" +
           refusedAdvice},
      {"dismissed, without a word", "126", "",
       "wipedesk was not started: the request for administrator rights was cancelled.\n\nStart "
       "wipedesk again to be asked once more.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = run(
        {"./wipedesk Start"}, {{"PKEXEC_EXIT", c.exit}, {"PKEXEC_SAY", c.said}, {"LANGUAGE", "en"}},
        As::OrdinaryUser);
    EXPECT_EQ(outcome.code, 255);
    // What pkexec said passes on to standard error as it came.
    EXPECT_NE(outcome.errors.find(c.said), std::string::npos) << outcome.errors;
    EXPECT_TRUE(ends_with(outcome.errors, c.told)) << outcome.errors;
    EXPECT_FALSE(fs::exists(out("ran")));
  }
}

// pkexec ends when the program does, but what the program leaves behind may still write to
// standard error: the launcher passes that on until the last lets go of it, since cutting it
// off would end it. When pkexec refused, nothing of the program is there to wait for, and a
// child of pkexec that holds on does not hold the launcher.
TEST_F(LauncherRun, StandardErrorIsPassedOnWhileTheProgramsChildrenHoldIt) {
  if (!can_be_an_ordinary_user())
    GTEST_SKIP() << "setpriv is not installed: the tests cannot run as an ordinary user";
  write("late", "");
  Outcome outcome = run({"./wipelaunch"}, {{"DISPLAY", ":1"}}, As::OrdinaryUser);
  EXPECT_EQ(outcome.code, 0) << outcome.errors;
  EXPECT_TRUE(ends_with(outcome.errors, "late\n")) << outcome.errors;

  const auto start = std::chrono::steady_clock::now();
  outcome = run({"./wipelaunch"}, {{"PKEXEC_EXIT", "127"}, {"PKEXEC_HOLD", "1"}}, As::OrdinaryUser);
  EXPECT_EQ(outcome.code, 255);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(fs::exists(out("holder")));
}

TEST_F(LauncherRun, HelpAndVersionAreAnsweredAndNothingIsOpened) {
  const std::regex version("wipelaunch \\(Corvana Wipe\\) v[0-9]{6}\ncommit [0-9a-f]{40}\n");
  const struct {
    std::vector<std::string> command;
    bool help;
  } cases[] = {
      {{"./wipelaunch", "--help"}, true},
      {{"./wipedesk Start", "dbg=stderr", "--version"}, false},
      {{"./wipelaunch", "--version", "--help"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command.back());
    const Outcome outcome = run(c.command, {}, As::OrdinaryUser);
    EXPECT_EQ(outcome.code, 0) << outcome.errors;
    if (c.help)
      EXPECT_EQ(outcome.output.rfind("Usage: wipelaunch [--help | --version]\n", 0), 0u)
          << outcome.output;
    else
      EXPECT_TRUE(std::regex_match(outcome.output, version)) << outcome.output;
    EXPECT_EQ(outcome.errors, "");
  }
  EXPECT_FALSE(fs::exists(out("ran")));
  EXPECT_FALSE(fs::exists(out("pkexec")));
}
