// wipedesk's start-up as a process: each way it can fail ends it with -1 (255 here), the debug
// log lines that say why, and one line on standard error for an operator who sees no log.
//
// The program runs from a program directory of its own (a copy of wipedesk beside the build's
// lib/ and cvwdrv), so that its configuration, settings and history are the test's.
#include "ConfigValue.h"
#include "Files.h"
#include "GuiEnvironment.h"
#include "HttpServer.h"
#include "Settings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string shell_quoted(const std::string& text) {
  std::string q = "'";
  for (char c : text)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

// What a run left: its exit code, its debug log and its standard error.
struct Outcome {
  int code = -1;
  std::string log;
  std::string errors;
};

// How long a run in the background may take before the test gives up on it.
constexpr gint64 run_limit_us = 60 * G_USEC_PER_SEC;

// The text of `path` now; "" when there is none.
std::string text_of(const std::string& path) {
  std::string text;
  read_file(path, text);
  return text;
}

// The program run in the background by the shell command `command`, which ends by exec'ing it
// (so that signals reach the program itself), its debug log going to `log`.
class Background {
public:
  Background(const std::string& command, const std::string& log) : log(log) {
    std::string shell = "/bin/sh", option = "-c", text = command;
    char* argv[] = {shell.data(), option.data(), text.data(), nullptr};
    GError* error = nullptr;
    started = g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                            &pid, &error) == TRUE;
    if (!started) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
  }
  ~Background() {
    if (started && !ended) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Whether a line of the debug log begins with `line`, waiting for it while the program runs.
  bool logged(const std::string& line) {
    const gint64 deadline = g_get_monotonic_time() + run_limit_us;
    while (g_get_monotonic_time() < deadline) {
      const std::string text = "\n" + text_of(log);
      if (text.find("\n" + line) != std::string::npos)
        return true;
      if (has_ended())
        return false;
      g_usleep(10 * 1000);
    }
    return false;
  }

  void signal(int number) const {
    if (started && !ended)
      kill(pid, number);
  }

  // Whether the program has ended (it is reaped then).
  bool has_ended() {
    if (!started || ended)
      return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid)
      return false;
    ended = true;
    code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    return true;
  }

  // Waits for the end; the exit code, 1000 + the signal's number when one killed it, or -1
  // (after a failure) when it did not end in time and was killed.
  int finish() {
    const gint64 deadline = g_get_monotonic_time() + run_limit_us;
    while (!has_ended() && g_get_monotonic_time() < deadline)
      g_usleep(10 * 1000);
    if (!has_ended()) {
      ADD_FAILURE() << "the program still runs";
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      ended = true;
    }
    return code;
  }

private:
  std::string log;
  GPid pid = 0;
  bool started = false;
  bool ended = false;
  int code = -1;
};

class StartUpTest : public GuiTest {
public:
  void SetUp() override {
    GuiTest::SetUp();
    const fs::path build = CVW_PROGRAM_DIR;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    program = dir.file("wipedesk");
    fs::copy_file(build / "wipedesk", program);
    fs::create_directory_symlink(build / "lib", dir.path() / "lib");
    fs::create_symlink(build / "cvwdrv", dir.path() / "cvwdrv");
    std::string text;
    ASSERT_TRUE(read_file((build / "wipedesk.cfg").string(), text));
    ASSERT_TRUE(configuration.parse(text.c_str()));
    configuration["Splash Timeout"] = 1;
    machine = dir.file("machine.cfg");
    std::ofstream(machine) << "\"drives\": [{\"number\": 0, \"size\": 1048576, \"product\": "
                              "\"ONE\", \"serial\": \"1\"}]";
    // Not the first run: a drive is hidden already, so no question waits at start.
    Settings settings;
    Drive hidden;
    hidden.set_model("OTHER");
    hidden.set_serial("2");
    settings.set_hidden_drives({hidden});
    ASSERT_TRUE(settings.save(dir.file("settings.cfg").c_str()));
    ASSERT_TRUE(read_file(dir.file("settings.cfg"), baseSettings));
    baseConfiguration = configuration;
  }

  // Every file of the program directory as SetUp left it, but no configuration file.
  void reset() {
    configuration = baseConfiguration;
    write("settings.cfg", baseSettings);
    fs::remove(dir.file("wipedesk.cfg"));
    fs::remove(dir.file("WipeLog.cfg"));
  }

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(dir.file(name), std::ios::binary | std::ios::trunc) << text;
  }
  void write_configuration() const {
    write("wipedesk.cfg",
          configuration.to_string(config::Braces::Omitted, config::Layout::Indented));
  }

  // Runs `prefix` program dbg=<log>, for at most 60 seconds, on the simulated machine or the
  // real one, after the shell command `before`.
  Outcome run(const std::string& prefix = "", bool simulated = true,
              const std::string& before = "") const {
    const std::string log = dir.file("debug.log");
    const std::string errors = dir.file("errors.txt");
    fs::remove(log);
    const std::string command = before +
                                " CVW_MACHINE=" + (simulated ? shell_quoted(machine) : "") +
                                " timeout 60 " + prefix + " " + shell_quoted(program) +
                                " dbg=" + shell_quoted(log) + " 2>" + shell_quoted(errors);
    const int status = std::system(command.c_str());
    Outcome result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    read_file(log, result.log);
    read_file(errors, result.errors);
    return result;
  }

  // Starts the program in the background with `name` in the names of its log and its
  // standard error, after the shell command `before`.
  std::unique_ptr<Background> start(const std::string& name, const std::string& before = "") const {
    const std::string log = this->log(name);
    fs::remove(log);
    return std::make_unique<Background>(
        before + " exec env CVW_MACHINE=" + shell_quoted(machine) + " " + shell_quoted(program) +
            " dbg=" + shell_quoted(log) + " 2>" + shell_quoted(errors(name)),
        log);
  }
  std::string log(const std::string& name) const { return dir.file(name + ".log"); }
  std::string errors(const std::string& name) const { return dir.file(name + ".errors"); }

  // The program directory as another user may read it, wherever the build lies (below a folder
  // that only its owner may enter, say): its data files and the engine copied in, not linked.
  void copy_for_another_user() const {
    const fs::path build = CVW_PROGRAM_DIR;
    fs::remove(dir.path() / "lib");
    fs::remove(dir.path() / "cvwdrv");
    fs::copy(build / "lib", dir.path() / "lib", fs::copy_options::recursive);
    fs::copy_file(build / "cvwdrv", dir.path() / "cvwdrv");
  }

  // A folder of the user 65534, where that user writes its debug log and standard error: the
  // program accepts a debug file only where no user but itself (and root) may change the way.
  static void give_to_another_user(const TempDir& folder) {
    ASSERT_EQ(chown(folder.path().c_str(), 65534, 65534), 0);
  }

  // What the folder holds: each name with the text of its file.
  static std::string listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
      text += name + "=" + text_of(folder + "/" + name) + ";";
    return text;
  }

  TempDir dir;
  std::string program;
  std::string machine;
  config::Value configuration;
  config::Value baseConfiguration;
  std::string baseSettings;
};

} // namespace

TEST_F(StartUpTest, FailuresEndTheProgramWithTheirReasons) {
  const std::string cfg = dir.file("wipedesk.cfg");
  const struct {
    const char* name;
    std::function<void(StartUpTest&)> prepare;
    std::string prefix;
    std::vector<std::string> log; // lines, in this order, among the others
    std::string error;            // standard error, whole
  } cases[] = {
      {"no configuration file",
       [](StartUpTest&) {},
       "",
       {"ProgramInit.cpp(50): " + cfg, "main.cpp(124): ProgramInit.cpp(51)"},
       "wipedesk: cannot read the program configuration " + cfg + "\n"},
      {"a configuration that does not parse",
       [](StartUpTest& t) { t.write("wipedesk.cfg", "\"Program Name\": "); },
       "",
       {"ProgramInit.cpp(54): " + cfg, "main.cpp(124): ProgramInit.cpp(55)"},
       "wipedesk: cannot parse the program configuration " + cfg + "\n"},
      {"no display",
       [](StartUpTest& t) { t.write_configuration(); },
       "env -u DISPLAY",
       {"ProgramInit.cpp(73)", "main.cpp(57)"},
       "wipedesk: cannot start GTK: no display\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    c.prepare(*this);
    const Outcome result = run(c.prefix);
    EXPECT_EQ(result.code, 255);
    const std::vector<std::string> log = lines_of(result.log);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].rfind("main.cpp(54): Corvana Wipe; revision v", 0), 0u) << log[0];
    auto at = log.begin();
    for (const std::string& line : c.log) {
      at = std::find(at, log.end(), line);
      EXPECT_NE(at, log.end()) << "missing: " << line << "\nin:\n" << result.log;
    }
    EXPECT_EQ(result.errors, c.error);
  }
}

// A configuration of the wrong shape (a top level that is no list of members, a required member
// missing, a member of another type) is told in a box that names the file and the member, and
// on standard error, and the program ends: it cannot run without it. The box waits for an
// answer; the request to end gives it.
TEST_F(StartUpTest, AConfigurationOfTheWrongShapeIsToldInABox) {
  const std::string cfg = dir.file("wipedesk.cfg");
  using V = config::Value;
  const struct {
    const char* name;
    std::function<void(V&)> change;
    std::string what;
  } cases[] = {
      {"a list", [](V& c) { c = V::Items{V(V::Object)}; }, "the top level is List, not Object"},
      {"no program name", [](V& c) { c.as_object().erase("Program Name"); },
       "\"Program Name\" is not found"},
      {"a program name that is a number", [](V& c) { c["Program Name"] = 7; },
       "\"Program Name\" is Number, not String"},
      {"window icons that are no text", [](V& c) { c["Program Window Icons"] = 7; },
       "\"Program Window Icons\" is Number, not String"},
      {"a locale that is no text", [](V& c) { c["Locale"] = 1; },
       "\"Locale\" is Number, not String"},
      {"an update address that is no text", [](V& c) { c["Update URL"] = 80; },
       "\"Update URL\" is Number, not String"},
      {"a splash key missing", [](V& c) { c.as_object().erase("Splash Image"); },
       "\"Splash Image\" is not found"},
      {"a splash timeout that is a text", [](V& c) { c["Splash Timeout"] = "soon"; },
       "\"Splash Timeout\" is String, not Number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    c.change(configuration);
    write("wipedesk.cfg", configuration.to_string(config::Braces::Kept, config::Layout::Indented));
    const auto run = start("shape");
    ASSERT_TRUE(run->logged("main.cpp(132): " + cfg + ": " + c.what)) << text_of(log("shape"));
    // It waits for the operator to read the box.
    g_usleep(300 * 1000);
    EXPECT_FALSE(run->has_ended());
    run->signal(SIGTERM);
    EXPECT_EQ(run->finish(), 255);
    EXPECT_EQ(text_of(errors("shape")),
              "wipedesk: the program configuration " + cfg + " cannot be used: " + c.what + "\n");
    EXPECT_EQ(text_of(log("shape")).find("main.cpp(115): "), std::string::npos);
  }
}

// Settings of the wrong shape cost no start: the program says so over its main window and
// goes on with the default settings (so it asks, as at a first run, which drives to hide),
// and the file stays as it was until the operator saves the settings.
TEST_F(StartUpTest, UnusableSettingsAreSaidAndTheDefaultsTaken) {
  const std::string settings = dir.file("settings.cfg");
  const struct {
    const char* name;
    std::string text; // the file's text
  } cases[] = {
      {"a list", "[1]"},
      {"hidden drives that are a number",
       std::regex_replace(baseSettings, std::regex("\"hiddenDrives\":\\[[^\\]]*\\]"),
                          "\"hiddenDrives\":5")},
      {"a hidden drive that is no object",
       std::regex_replace(baseSettings, std::regex("\"hiddenDrives\":\\[[^\\]]*\\]"),
                          "\"hiddenDrives\":[1]")},
      {"a method that is none",
       std::regex_replace(baseSettings, std::regex("\"mode\":\"[^\"]*\""), "\"mode\":\"nothing\"")},
      {"a pattern that is a number",
       std::regex_replace(baseSettings, std::regex("\"pattern\":\"[^\"]*\""), "\"pattern\":1")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    ASSERT_NE(c.text, baseSettings);
    write_configuration();
    write("settings.cfg", c.text);
    const auto run = start("settings");
    ASSERT_TRUE(run->logged("main.cpp(131): " + settings)) << text_of(log("settings"));
    g_usleep(300 * 1000);
    EXPECT_FALSE(run->has_ended());
    // The request answers the box, then the question about the drives to hide.
    run->signal(SIGTERM);
    EXPECT_EQ(run->finish(), 128 + SIGTERM);
    const std::string text = text_of(log("settings"));
    EXPECT_NE(text.find("\nProgramInit.cpp(62): " + settings + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nmain.cpp(115): "), std::string::npos) << text;
    EXPECT_EQ(text_of(errors("settings")), "");
    EXPECT_EQ(text_of(settings), c.text);
  }
}

// A wipe history of the wrong shape is one that cannot be read: it is kept aside, which a box
// says, and a new history starts; the program runs on.
TEST_F(StartUpTest, AHistoryOfTheWrongShapeIsKeptAside) {
  const std::string history = dir.file("WipeLog.cfg");
  for (const char* shape : {"{\"a\":1}", "[1]", "[\"x\"]", "[[1]]", "[{\"time\":\"x\"}]", "\"str\"",
                            "[{}]", "[{\"model\":1}]"}) {
    SCOPED_TRACE(shape);
    reset();
    write_configuration();
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("WipeLog.cfg.bad-", 0) == 0)
        fs::remove(entry.path());
    write("WipeLog.cfg", shape);
    const auto run = start("history");
    ASSERT_TRUE(run->logged("MainLog.cpp(230): " + history + " cannot be loaded; kept as " +
                            history + ".bad-"))
        << text_of(log("history"));
    ASSERT_TRUE(run->logged("main.cpp(115): " + history));
    g_usleep(300 * 1000);
    EXPECT_FALSE(run->has_ended());
    run->signal(SIGTERM);
    EXPECT_EQ(run->finish(), 128 + SIGTERM);
    EXPECT_EQ(text_of(errors("history")), "");
    EXPECT_EQ(text_of(history), "[\n]");
    std::string kept;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("WipeLog.cfg.bad-", 0) == 0)
        kept = text_of(entry.path().string());
    EXPECT_EQ(kept, shape);
  }
}

// On the real machine the drives are the system's: without root the program says so and ends,
// naming the launcher beside it, which asks for the rights, as a command that works as written;
// without a launcher there, only root is left. It runs on a display of its own, where nothing
// but its box can take the Escape key.
TEST_F(StartUpTest, WithoutRootTheRealMachineIsRefused) {
  if (geteuid() == 0 && std::system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "running as root, and setpriv is missing to run as another user";
  write_configuration();
  std::string user;
  // Another user's own folder, where it writes its log.
  TempDir own;
  if (geteuid() == 0) {
    copy_for_another_user();
    give_to_another_user(own);
    user = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  }
  const std::string log = own.file("debug.log");
  const std::string errors = own.file("errors.txt");
  write("answer.sh", "timeout 30 xdotool search --sync --onlyvisible --name '^Error$' "
                     "windowfocus --sync key Escape\n");
  write("run.sh", "(sh " + shell_quoted(dir.file("answer.sh")) + " &)\n" +
                      "CVW_MACHINE= timeout 60 " + user + " " + shell_quoted(program) +
                      " dbg=" + shell_quoted(log) + " 2>" + shell_quoted(errors) + "\n");
  const struct {
    const char* launcher; // copied beside the program; null: none
    std::string told;
  } cases[] = {
      {nullptr, "wipedesk: needs administrator rights: start it as root\n"},
      {"wipedesk Start", "wipedesk: needs administrator rights: start it with '" +
                             dir.file("wipedesk Start") + "'\n"},
      {"wipelaunch",
       "wipedesk: needs administrator rights: start it with " + dir.file("wipelaunch") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.launcher != nullptr ? c.launcher : "no launcher");
    if (c.launcher != nullptr) {
      fs::copy_file(fs::path(CVW_PROGRAM_DIR) / "wipelaunch", dir.path() / c.launcher);
      fs::permissions(dir.path() / c.launcher,
                      fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                      fs::perm_options::add);
    }
    const int status = std::system(("xvfb-run -a -s '-noreset -ac -screen 0 800x600x24' sh " +
                                    shell_quoted(dir.file("run.sh")))
                                       .c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 255);
    std::string text;
    read_file(log, text);
    EXPECT_NE(text.find("\nmain.cpp(60)\n"), std::string::npos) << text;
    read_file(errors, text);
    EXPECT_EQ(text, c.told);
  }
}

// "--help" and "--version" are answered before anything else: no configuration, no display
// and no debug log are needed, and nothing else happens.
TEST_F(StartUpTest, HelpAndVersionNeedNothingButTheProgram) {
  reset();
  const std::string out = dir.file("out.txt");
  const std::string errors = dir.file("errors.txt");
  auto run_with = [&](const std::string& variables, const std::string& arguments) {
    const int status =
        std::system(("env -u DISPLAY " + variables + " " + shell_quoted(program) + " " + arguments +
                     " >" + shell_quoted(out) + " 2>" + shell_quoted(errors))
                        .c_str());
    Outcome result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    read_file(out, result.log);
    read_file(errors, result.errors);
    return result;
  };
  const std::regex version("wipedesk \\(Corvana Wipe\\) v[0-9]{6}\ncommit [0-9a-f]{40}\n");
  const struct {
    const char* arguments;
    const char* starts; // null: the version
  } cases[] = {
      {"--help", "Usage: wipedesk [dbg=SINK] [GTK options]\n       wipedesk --help | --version\n"},
      {"dbg=stderr --version", nullptr},
      {"--version --help", "Usage: wipedesk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome result = run_with("LANGUAGE=en", c.arguments);
    EXPECT_EQ(result.code, 0);
    if (c.starts != nullptr)
      EXPECT_EQ(result.log.rfind(c.starts, 0), 0u) << result.log;
    else
      EXPECT_TRUE(std::regex_match(result.log, version)) << result.log;
    EXPECT_EQ(result.errors, "");
  }
  EXPECT_FALSE(fs::exists(dir.file("debug.log")));
  EXPECT_FALSE(fs::exists(dir.file("WipeLog.cfg")));
  // The usage speaks the operator's language, from the catalogues beside the program.
  const std::string current = std::setlocale(LC_ALL, nullptr);
  const bool german_installed = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  std::setlocale(LC_ALL, current.c_str());
  if (!german_installed)
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
  const Outcome german = run_with("LC_ALL=de_DE.UTF-8 LANGUAGE=de", "--help");
  EXPECT_EQ(german.code, 0);
  EXPECT_EQ(german.log.rfind("Aufruf: wipedesk [dbg=ZIEL] [GTK-Optionen]\n", 0), 0u) << german.log;
}

// SIGTERM or SIGHUP at any step, from the splash window to the last steps of the exit, ends
// the program as a quit does, with 128 + the signal's number: the window that is open is
// answered as closed, no main window comes after an early request, and the history is saved
// when the main window ran.
TEST_F(StartUpTest, TheSystemsRequestToEndIsAQuitAtEveryStep) {
  HttpServer stalled({{"/feed.xml", {http::stall()}}});
  const std::string history = dir.file("WipeLog.cfg");
  const struct {
    const char* stage;
    int request;
    const char* ready; // the log line after which the signal comes; null: the server's request
    int repeatMs;      // 0: one signal, else again and again until the program has ended
    bool mainWindow;   // whether the main window was built
  } cases[] = {
      {"splash window", SIGTERM, "main.cpp(62): ", 0, false},
      {"update check", SIGHUP, nullptr, 0, false},
      {"main window", SIGTERM, "main.cpp(115): ", 0, true},
      {"end after end", SIGHUP, "main.cpp(115): ", 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stage);
    reset();
    if (c.ready == nullptr)
      configuration["Update URL"] = stalled.url("/feed.xml");
    else if (std::string(c.stage) == "splash window")
      configuration["Splash Timeout"] = 60000;
    write_configuration();
    const auto run = start(c.stage);
    if (c.ready != nullptr) {
      ASSERT_TRUE(run->logged(c.ready)) << text_of(log(c.stage));
    } else {
      const gint64 deadline = g_get_monotonic_time() + run_limit_us;
      while (!stalled.has_request(1) && g_get_monotonic_time() < deadline)
        g_usleep(10 * 1000);
      ASSERT_TRUE(stalled.has_request(1));
    }
    run->signal(c.request);
    if (c.repeatMs > 0)
      while (!run->has_ended()) {
        run->signal(c.request);
        g_usleep(c.repeatMs * 1000);
      }
    EXPECT_EQ(run->finish(), 128 + c.request);
    const std::string text = text_of(log(c.stage));
    EXPECT_NE(text.find("EndRequests.cpp(64): " + std::to_string(c.request) + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("main.cpp(115): ") != std::string::npos, c.mainWindow) << text;
    EXPECT_EQ(fs::exists(history), c.mainWindow);
    EXPECT_EQ(text_of(errors(c.stage)), "");
  }
}

// Two programs on one program folder would each save their own history over the other's: the
// second says that one runs already and ends. The folder is free again once the first has
// ended, also when it was killed.
TEST_F(StartUpTest, ASecondProgramOnTheSameFolderEnds) {
  reset();
  write_configuration();
  const std::string folder = fs::canonical(dir.path()).string();
  const auto first = start("first");
  ASSERT_TRUE(first->logged("main.cpp(115): ")) << text_of(log("first"));

  const auto second = start("second");
  // Its box waits for an answer; the request to end gives it.
  ASSERT_TRUE(second->logged("main.cpp(64): " + folder + "/wipedesk.lock"))
      << text_of(log("second"));
  second->signal(SIGTERM);
  EXPECT_EQ(second->finish(), 255);
  EXPECT_EQ(text_of(errors("second")), "wipedesk: already running from " + folder + "\n");
  EXPECT_EQ(text_of(log("second")).find("main.cpp(115): "), std::string::npos);

  // The first crashes; the next one starts as usual.
  first->signal(SIGKILL);
  EXPECT_EQ(first->finish(), 1000 + SIGKILL);
  const auto third = start("third");
  ASSERT_TRUE(third->logged("main.cpp(115): ")) << text_of(log("third"));
  EXPECT_NE(text_of(log("third")).find("main.cpp(62): " + folder + "/wipedesk.lock\n"),
            std::string::npos);
  third->signal(SIGTERM);
  EXPECT_EQ(third->finish(), 128 + SIGTERM);
}

// Two program folders whose wipe logs are links to one shared file would save over each other's
// records as two programs on one folder would: the second says that one runs with that file and
// ends, and the shared file keeps what it held.
TEST_F(StartUpTest, ASecondProgramOnALinkedSharedHistoryEnds) {
  reset();
  write_configuration();
  TempDir shared;
  const std::string history = fs::canonical(shared.path()).string() + "/WipeLog.cfg";
  fs::create_symlink(history, dir.file("WipeLog.cfg"));
  // A second program folder like the first, its wipe log a link to the same file.
  TempDir other;
  fs::permissions(other.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  for (const char* name : {"wipedesk", "wipedesk.cfg", "settings.cfg"})
    fs::copy_file(dir.file(name), other.file(name));
  fs::create_directory_symlink(fs::read_symlink(dir.path() / "lib"), other.path() / "lib");
  fs::create_symlink(fs::read_symlink(dir.path() / "cvwdrv"), other.path() / "cvwdrv");
  fs::create_symlink(history, other.file("WipeLog.cfg"));

  const auto first = start("first");
  ASSERT_TRUE(first->logged("main.cpp(115): ")) << text_of(log("first"));
  EXPECT_NE(text_of(log("first")).find("main.cpp(127): " + history + ".lock\n"), std::string::npos);
  const std::string secondLog = dir.file("second.log");
  Background second("exec env CVW_MACHINE=" + shell_quoted(machine) + " " +
                        shell_quoted(other.file("wipedesk")) + " dbg=" + shell_quoted(secondLog) +
                        " 2>" + shell_quoted(errors("second")),
                    secondLog);
  // Its box waits for an answer; the request to end gives it.
  ASSERT_TRUE(second.logged("main.cpp(129): " + history + ".lock")) << text_of(secondLog);
  second.signal(SIGTERM);
  EXPECT_EQ(second.finish(), 255);
  EXPECT_EQ(text_of(errors("second")), "wipedesk: already running with the wipe log of " +
                                           fs::canonical(other.path()).string() + "\n");
  EXPECT_EQ(text_of(secondLog).find("main.cpp(115): "), std::string::npos);
  first->signal(SIGTERM);
  EXPECT_EQ(first->finish(), 128 + SIGTERM);
  EXPECT_TRUE(fs::is_symlink(dir.file("WipeLog.cfg")));
  EXPECT_TRUE(fs::is_symlink(other.file("WipeLog.cfg")));
}

// A lock that something other than a regular file stands in for (a folder, a link, a pipe) may
// be how another program holds it: it is taken as held, the program says so naming the path,
// and ends. Nothing is made where a link there leads.
TEST_F(StartUpTest, ALockThatIsNoFileIsTakenAsHeld) {
  const std::string folder = fs::canonical(dir.path()).string();
  TempDir shared;
  const std::string history = fs::canonical(shared.path()).string() + "/WipeLog.cfg";
  const struct {
    const char* name;
    std::string lock;
    std::function<void(const std::string&)> make;
    bool linked; // the wipe log is a link to the shared folder
    const char* line;
  } cases[] = {
      {"the folder's lock a folder", folder + "/wipedesk.lock",
       [](const std::string& path) { fs::create_directory(path); }, false, "main.cpp(65): "},
      {"the folder's lock a link", folder + "/wipedesk.lock",
       [&](const std::string& path) { fs::create_symlink(dir.file("made by the link"), path); },
       false, "main.cpp(65): "},
      {"the folder's lock a pipe", folder + "/wipedesk.lock",
       [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false,
       "main.cpp(65): "},
      {"the shared wipe log's lock a folder", history + ".lock",
       [](const std::string& path) { fs::create_directory(path); }, true, "main.cpp(130): "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    write_configuration();
    fs::remove(folder + "/wipedesk.lock");
    if (c.linked)
      fs::create_symlink(history, dir.file("WipeLog.cfg"));
    c.make(c.lock);
    const auto run = start("lock");
    ASSERT_TRUE(run->logged(c.line + c.lock)) << text_of(log("lock"));
    g_usleep(300 * 1000);
    EXPECT_FALSE(run->has_ended());
    run->signal(SIGTERM);
    EXPECT_EQ(run->finish(), 255);
    EXPECT_EQ(text_of(errors("lock")), "wipedesk: the lock " + c.lock + " is not a regular file\n");
    EXPECT_EQ(text_of(log("lock")).find("main.cpp(115): "), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("made by the link")));
    fs::remove(c.lock);
  }
}

// The administrator's link leads into a folder that another user may change: that user can
// swap the file for a link while the program runs. The history is refused at start, with a box
// that names the file and why; nothing is read from it, no lock is made beside it, and neither
// the save after the swap nor the one at the end writes anywhere: the root-only folder and its
// file stay as they were.
TEST_F(StartUpTest, ALinkedHistoryThatAnotherUserMayChangeIsNeverUsed) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "needs root and setpriv to act as another user";
  TempDir place;
  const std::string top = fs::canonical(place.path()).string();
  const std::string rootOnly = top + "/root-only";
  const std::string share = top + "/share";
  fs::permissions(top, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  const std::string history = dir.file("WipeLog.cfg");
  for (const char* victim : {"victim", "new.cfg"}) {
    SCOPED_TRACE(victim);
    reset();
    write_configuration();
    fs::remove_all(rootOnly);
    fs::remove_all(share);
    fs::create_directory(rootOnly);
    fs::permissions(rootOnly, fs::perms::owner_all);
    write_file(rootOnly + "/victim", "secret", 6);
    fs::create_directory(share);
    ASSERT_EQ(chown(share.c_str(), 65534, 65534), 0);
    std::ofstream(share + "/history.cfg") << "[\n]";
    ASSERT_EQ(chown((share + "/history.cfg").c_str(), 65534, 65534), 0);
    fs::create_symlink(share + "/history.cfg", history);
    const std::string before = listing(rootOnly);

    const auto run = start("linked");
    ASSERT_TRUE(run->logged("HistoryKeeper.cpp(70): " + history + ": it leads to " + share +
                            "/history.cfg: another user may change the folder " + share))
        << text_of(log("linked"));
    // ln -s <root-only file> share/tmp.lnk && mv -T share/tmp.lnk share/history.cfg, as that user.
    ASSERT_EQ(std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups sh -c " +
                           shell_quoted("ln -s " + shell_quoted(rootOnly + "/" + victim) + " " +
                                        shell_quoted(share + "/tmp.lnk") + " && mv -T " +
                                        shell_quoted(share + "/tmp.lnk") + " " +
                                        shell_quoted(share + "/history.cfg")))
                              .c_str()),
              0);
    run->signal(SIGTERM);
    EXPECT_EQ(run->finish(), 128 + SIGTERM);
    EXPECT_EQ(listing(rootOnly), before);
    EXPECT_TRUE(fs::is_symlink(share + "/history.cfg"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(share + "/history.cfg.lock")));
    EXPECT_TRUE(fs::is_symlink(history));
    const std::string text = text_of(log("linked"));
    EXPECT_EQ(text.find("main.cpp(127): "), std::string::npos) << text;
  }
}

// A named pipe or a link to /dev/zero in place of the configuration, the settings or the
// history is refused at once, as a file that cannot be read: the configuration ends the
// program, the settings fall back to their defaults, the history is kept aside and a new one
// begins. Nothing waits on them, and what stood there stays as it was.
TEST_F(StartUpTest, OddFilesAreRefusedNotWaitedOn) {
  const struct {
    const char* file;
    const char* ready; // the log line that says the program went on; null: it ends by itself
  } files[] = {
      {"wipedesk.cfg", nullptr},
      {"settings.cfg", "ProgramInit.cpp(62): "},
      {"WipeLog.cfg", "MainLog.cpp(230): "},
  };
  for (const auto& f : files)
    for (const bool pipe : {true, false}) {
      const std::string name = std::string(f.file) + (pipe ? " as a pipe" : " as /dev/zero");
      SCOPED_TRACE(name);
      reset();
      if (f.ready != nullptr)
        write_configuration();
      const std::string path = dir.file(f.file);
      fs::remove(path);
      if (pipe)
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      else
        fs::create_symlink("/dev/zero", path);
      const auto run = start("odd");
      if (f.ready == nullptr) {
        EXPECT_EQ(run->finish(), 255);
        EXPECT_EQ(text_of(errors("odd")),
                  "wipedesk: cannot read the program configuration " + path + "\n");
        fs::remove(path);
        continue;
      }
      EXPECT_TRUE(run->logged(f.ready + path)) << text_of(log("odd"));
      run->signal(SIGTERM);
      EXPECT_EQ(run->finish(), 128 + SIGTERM);
      // What the operator put there stays what it is, here or where the history was kept.
      std::string kept = path;
      if (std::string(f.file) == "WipeLog.cfg") {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
        for (const auto& entry : fs::directory_iterator(dir.path()))
          if (entry.path().filename().string().rfind("WipeLog.cfg.bad-", 0) == 0)
            kept = entry.path().string();
        ASSERT_NE(kept, path);
      }
      EXPECT_TRUE(pipe ? fs::is_fifo(fs::symlink_status(kept))
                       : fs::is_symlink(kept) && fs::read_symlink(kept) == "/dev/zero");
      fs::remove(kept);
    }
}

// Run by a user who may not write the program folder, where no lock can be made either, the
// program starts and says at start that its history cannot be written, naming the file. It
// runs on a display of its own, which that user may reach, from a program folder that user may
// read wherever the build lies.
TEST_F(StartUpTest, AnUnwritableHistoryIsSaidAtStart) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "needs root and setpriv to run as a user who cannot write the folder";
  reset();
  write_configuration();
  copy_for_another_user();
  // The user's own files: its log, its standard error and the simulated machine.
  TempDir own;
  give_to_another_user(own);
  const std::string ownMachine = own.file("machine.cfg");
  fs::copy_file(machine, ownMachine);
  ASSERT_EQ(chown(ownMachine.c_str(), 65534, 65534), 0);
  const std::string history = fs::canonical(dir.path()).string() + "/WipeLog.cfg";
  const std::string debug = own.file("debug.log");
  const std::string code = own.file("code");
  write("run.sh", "CVW_MACHINE=" + shell_quoted(ownMachine) +
                      " setpriv --reuid=65534 --regid=65534 --clear-groups " +
                      shell_quoted(program) + " dbg=" + shell_quoted(debug) + " 2>" +
                      shell_quoted(own.file("errors")) +
                      " &\n"
                      "pid=$!\n"
                      "for i in $(seq 6000); do\n"
                      "  grep -q 'HistoryKeeper.cpp(60): ' " +
                      shell_quoted(debug) +
                      " 2>/dev/null && break\n"
                      "  kill -0 $pid 2>/dev/null || break\n"
                      "  sleep 0.01\n"
                      "done\n"
                      "kill -TERM $pid\n"
                      "wait $pid\n"
                      "echo $? > " +
                      shell_quoted(code) + "\n");
  const int status = std::system(
      ("xvfb-run -a -s '-noreset -ac -screen 0 800x600x24' sh " + shell_quoted(dir.file("run.sh")))
          .c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(text_of(code), std::to_string(128 + SIGTERM) + "\n");
  const std::string text = text_of(debug);
  EXPECT_NE(text.find("HistoryKeeper.cpp(60): " + history + ": " + g_strerror(EACCES) + "\n"),
            std::string::npos)
      << text;
  // No lock can be made there either: that is only logged, and the program runs.
  EXPECT_NE(text.find("main.cpp(63): " + fs::canonical(dir.path()).string() + "/wipedesk.lock: "),
            std::string::npos)
      << text;
}
