// wipedesk's start-up as a process: each way it can fail ends it with -1 (255 here), the debug
// log lines that say why, and one line on standard error for an operator who sees no log.
//
// The program runs from a program directory of its own (a copy of wipedesk beside the build's
// lib/ and cvwdrv), so that its configuration, settings and history are the test's.
#include "ConfigValue.h"
#include "Files.h"
#include "GuiEnvironment.h"
#include "Settings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
      {"no program name",
       [](StartUpTest& t) {
         t.configuration.as_object().erase("Program Name");
         t.write_configuration();
       },
       "",
       {"main.cpp(124): \"Program Name\" is not found"},
       "wipedesk: cannot start: \"Program Name\" is not found\n"},
      {"window icons that are no text",
       [](StartUpTest& t) {
         t.configuration["Program Window Icons"] = 7;
         t.write_configuration();
       },
       "",
       {"main.cpp(124): ConfigValue.cpp(56)"},
       "wipedesk: cannot start: ConfigValue.cpp(56)\n"},
      {"settings that name no wipe method",
       [](StartUpTest& t) {
         t.write_configuration();
         std::string settings;
         read_file(t.dir.file("settings.cfg"), settings);
         const std::size_t at = settings.find("\"mode\":\"");
         t.write("settings.cfg", settings.substr(0, at) + "\"mode\":\"nothing" +
                                     settings.substr(at + 8 + settings.substr(at + 8).find('"')));
       },
       "",
       {"main.cpp(124): WipeMethod.cpp(332)"},
       "wipedesk: cannot start: WipeMethod.cpp(332)\n"},
      {"no display",
       [](StartUpTest& t) { t.write_configuration(); },
       "env -u DISPLAY",
       {"ProgramInit.cpp(73)", "main.cpp(57)"},
       "wipedesk: cannot start GTK: no display\n"},
      {"an update address that is no text",
       [](StartUpTest& t) {
         t.configuration["Update URL"] = 80;
         t.write_configuration();
       },
       "",
       {"main.cpp(124): \"Update URL\" is Number, not String"},
       "wipedesk: cannot start: \"Update URL\" is Number, not String\n"},
      {"a splash key missing",
       [](StartUpTest& t) {
         t.configuration.as_object().erase("Splash Image");
         t.write_configuration();
       },
       "",
       {"main.cpp(124): \"Splash Image\" is not found"},
       "wipedesk: cannot start: \"Splash Image\" is not found\n"},
      {"a wipe history that is no list",
       [](StartUpTest& t) {
         t.write_configuration();
         t.write("WipeLog.cfg", "{\"time\": 1}");
       },
       "",
       {"main.cpp(124): ConfigValue.cpp(68)"},
       "wipedesk: cannot start: ConfigValue.cpp(68) (loading the wipe log " +
           dir.file("WipeLog.cfg") + ")\n"},
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

// On the real machine the drives are the system's: without root the program says so and ends,
// naming the launcher beside it, which asks for the rights, as a command that works as written;
// without a launcher there, only root is left. It runs on a display of its own, where nothing
// but its box can take the Escape key.
TEST_F(StartUpTest, WithoutRootTheRealMachineIsRefused) {
  if (geteuid() == 0 && std::system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "running as root, and setpriv is missing to run as another user";
  write_configuration();
  std::string user;
  if (geteuid() == 0) {
    // Another user, who must be able to write its log here.
    fs::permissions(dir.path(), fs::perms::all);
    user = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  }
  const std::string log = dir.file("debug.log");
  const std::string errors = dir.file("errors.txt");
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
