#include "ProgramInit.h"

#include "Files.h"
#include "Locale.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <libintl.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const minimal = R"("Program Name":"Test Wipe","Program Window Icons":"a.png, b.png")";

// Records the steps that start-up hands to the layers above, in their order.
class RecordingSteps : public ProgramInitSteps {
public:
  bool load_settings(const std::string& directory, const std::string& path) override {
    calls.push_back("settings " + directory + " " + path);
    return settingsLoad;
  }
  void add_resource_file(const std::string& directory) override {
    calls.push_back("resources " + directory);
  }
  bool init_toolkit(int& argc, char**&) override {
    const char* lcAll = g_getenv("LC_ALL");
    calls.push_back("toolkit " + std::to_string(argc) + " " + (lcAll ? lcAll : "-"));
    return toolkitInit;
  }
  void set_theme(const std::string& name) override { calls.push_back("theme " + name); }
  void set_window_icons(const PropertyMap& icons) override {
    std::string text = "icons";
    for (const auto& [key, value] : icons)
      text += " [" + key + "=" + value + "]";
    calls.push_back(text);
  }

  std::vector<std::string> calls;
  bool settingsLoad = true;
  bool toolkitInit = true;
};

// A program directory with a program file and its configuration, and the command line.
class ProgramInitTest : public ::testing::Test {
protected:
  ProgramInitTest() {
    if (const char* lcAll = g_getenv("LC_ALL"))
      savedLcAll = lcAll;
    directory = std::filesystem::canonical(dir.path()).string();
  }
  ~ProgramInitTest() override {
    if (savedLcAll.empty())
      g_unsetenv("LC_ALL");
    else
      g_setenv("LC_ALL", savedLcAll.c_str(), TRUE);
  }

  // Places the program file `name` in the directory, with `configText` beside it under
  // `configName`.
  void prepare(const std::string& name, const std::string& configName,
               const std::string& configText) {
    program = directory + "/" + name;
    ASSERT_TRUE(write_file(program, "", 0));
    ASSERT_TRUE(write_file(directory + "/" + configName, configText.data(), configText.size()));
  }

  bool init() {
    argvText = {program, "dbg=null"};
    argv = {argvText[0].data(), argvText[1].data(), nullptr};
    argc = 2;
    char** args = argv.data();
    return program_init(configuration, argc, args, steps);
  }

  TempDir dir;
  std::string directory, program, savedLcAll;
  std::vector<std::string> argvText;
  std::vector<char*> argv;
  int argc = 0;
  config::Value configuration;
  RecordingSteps steps;
};

} // namespace

TEST_F(ProgramInitTest, ReadsTheFileNamedAfterTheProgram) {
  const struct {
    const char* program;
    const char* config;
  } cases[] = {{"wipedesk", "wipedesk.cfg"}, {"a.b", "a.b.cfg"}};
  for (const auto& c : cases) {
    prepare(c.program, c.config, std::string(minimal) + R"(,"Marker":")" + c.program + "\"");
    ASSERT_TRUE(init()) << c.program;
    EXPECT_EQ(configuration.get_string("Marker"), c.program);
  }
}

TEST_F(ProgramInitTest, RunsTheStepsInOrderAndCompletesTheConfiguration) {
  prepare("wipedesk", "wipedesk.cfg", std::string(minimal) + R"(,
    // set by the file, replaced by start-up
    "Program Path":"C:\\old", "Program Revision":"v000000", "Driver":"C:\\old\\cvwdrv.exe",
    "Locale":"de_DE", "gtk-theme-name":"Raleigh", "Kept":1)");
  ASSERT_TRUE(init());
  EXPECT_EQ(steps.calls,
            (std::vector<std::string>{
                "settings " + directory + " " + directory + "/settings.cfg",
                "resources " + directory + "/lib",
                "toolkit 2 de_DE",
                "theme Raleigh",
                "icons [Program Path=" + directory + "] [Program Window Icons=a.png, b.png]",
            }));
  EXPECT_EQ(configuration.get_string("Program Path"), directory);
  EXPECT_EQ(configuration.get_string("Driver"), directory + "/cvwdrv");
  EXPECT_EQ(configuration.get_string("Program Revision"), program_revision());
  EXPECT_TRUE(std::regex_match(program_revision(), std::regex("v[0-9]{6}")));
  EXPECT_EQ(configuration.get_number("Kept"), 1);

  EXPECT_STREQ(g_get_application_name(), "Test Wipe");
  EXPECT_EQ(Locale::instance().directory(), directory + "/lib/locale");
  EXPECT_STREQ(textdomain(nullptr), "CVW");
  EXPECT_EQ(std::string(bindtextdomain("CVW", nullptr)), directory + "/lib/locale");
}

TEST_F(ProgramInitTest, MemberListAndObjectFormsGiveTheSameConfiguration) {
  prepare("wipedesk", "wipedesk.cfg", minimal);
  ASSERT_TRUE(init());
  const std::string bare = configuration.to_string(config::Braces::Kept, config::Layout::OneLine);
  prepare("wipedesk", "wipedesk.cfg", "/* braces */ {" + std::string(minimal) + "}");
  ASSERT_TRUE(init());
  EXPECT_EQ(configuration.to_string(config::Braces::Kept, config::Layout::OneLine), bare);
}

TEST_F(ProgramInitTest, OptionalKeysMayBeAbsent) {
  prepare("wipedesk", "wipedesk.cfg", minimal);
  g_unsetenv("LC_ALL");
  ASSERT_TRUE(init());
  EXPECT_EQ(steps.calls.size(), 4u); // no theme
  EXPECT_EQ(steps.calls[2], "toolkit 2 -");
}

TEST_F(ProgramInitTest, TheRealDirectoryOfTheProgramCounts) {
  // Started through a link in another folder: the configuration is read beside the file.
  prepare("wipedesk", "wipedesk.cfg", minimal);
  std::filesystem::create_directory(dir.path() / "bin");
  std::filesystem::create_symlink(program, dir.path() / "bin" / "wipedesk");
  program = directory + "/bin/wipedesk";
  ASSERT_TRUE(init());
  EXPECT_EQ(configuration.get_string("Program Path"), directory);

  // Without a directory part (found along PATH) the running program's own file counts.
  LogCapture log;
  program = "wipedesk";
  EXPECT_THROW(init(), std::runtime_error);
  const std::filesystem::path self = CVW_TESTS_FILE;
  const std::string expected = std::filesystem::canonical(self.parent_path()).string() + "/" +
                               self.filename().string() + ".cfg";
  EXPECT_EQ(log.text(), "ProgramInit.cpp(50): " + expected + "\n");
}

TEST_F(ProgramInitTest, FailuresEndStartUp) {
  const struct {
    const char* what;
    std::string config;
    const char* thrown; // null: program_init returns false
    std::string log;
  } cases[] = {
      {"unreadable", "", "ProgramInit.cpp(51)", "ProgramInit.cpp(50): "},
      {"unparsable", "\"Program Name\":", "ProgramInit.cpp(55)", "ProgramInit.cpp(54): "},
      {"no name", R"("Program Window Icons":"a.png")", "\"Program Name\" is not found", ""},
      {"no icons", R"("Program Name":"x")", "\"Program Window Icons\" is not found", ""},
      {"name not a text", R"("Program Name":1,"Program Window Icons":"")",
       "\"Program Name\" is Number, not String", ""},
      {"locale not a text", std::string(minimal) + R"(,"Locale":5)",
       "\"Locale\" is Number, not String", ""},
      {"theme not a text", std::string(minimal) + R"(,"gtk-theme-name":true)",
       "\"gtk-theme-name\" is Boolean, not String", ""},
      {"icons not a text", R"("Program Name":"x","Program Window Icons":[])",
       "\"Program Window Icons\" is List, not String", ""},
      {"a list, not an object", "[1]", "the top level is List, not Object", ""},
  };
  for (const auto& c : cases) {
    prepare("wipedesk", "wipedesk.cfg", c.config);
    if (std::string(c.what) == "unreadable")
      std::filesystem::remove(directory + "/wipedesk.cfg");
    LogCapture log;
    steps.calls.clear();
    try {
      init();
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const config::Value::Exception& e) {
      // A configuration of the wrong shape is told in a box: the toolkit runs by then.
      EXPECT_STREQ(e.what(), c.thrown) << c.what;
      EXPECT_NE(std::find_if(steps.calls.begin(), steps.calls.end(),
                             [](const std::string& call) { return call.starts_with("toolkit"); }),
                steps.calls.end())
          << c.what;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.thrown) << c.what;
    }
    if (!c.log.empty()) {
      EXPECT_NE(log.text().find(c.log + directory + "/wipedesk.cfg\n"), std::string::npos)
          << c.what << ": " << log.text();
    }
  }
}

TEST_F(ProgramInitTest, ReportedFailures) {
  LogCapture log;
  int noArgs = 0;
  char** none = nullptr;
  EXPECT_FALSE(program_init(configuration, noArgs, none, steps));
  EXPECT_EQ(log.text(), "ProgramInit.cpp(33)\n");

  prepare("wipedesk", "wipedesk.cfg", minimal);
  steps.toolkitInit = false;
  log.clear();
  EXPECT_FALSE(init());
  EXPECT_EQ(log.text(), "ProgramInit.cpp(73)\n");
  EXPECT_EQ(steps.calls.size(), 3u); // nothing after the toolkit
}

TEST_F(ProgramInitTest, MissingSettingsAreOnlyLogged) {
  prepare("wipedesk", "wipedesk.cfg", minimal);
  steps.settingsLoad = false;
  LogCapture log;
  ASSERT_TRUE(init());
  EXPECT_NE(log.text().find("ProgramInit.cpp(62): " + directory + "/settings.cfg\n"),
            std::string::npos)
      << log.text();
  EXPECT_EQ(configuration.get_string("Driver"), directory + "/cvwdrv");
}
