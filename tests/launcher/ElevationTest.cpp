#include "Elevation.h"

#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A GLib environment block of `entries`, alive as long as the object.
class Environment {
public:
  explicit Environment(std::vector<std::string> entries) : entries(std::move(entries)) {
    for (std::string& entry : this->entries)
      pointers.push_back(entry.data());
    pointers.push_back(nullptr);
  }
  gchar** get() { return pointers.data(); }

private:
  std::vector<std::string> entries;
  std::vector<char*> pointers;
};

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++found;
  return found;
}

} // namespace

// pkexec clears the environment: the display's and the language's variables travel as env's
// arguments, and an X authority that only HOME implies is named, since HOME becomes root's.
TEST(Elevation, TheDisplayAndLanguageTravelInTheArguments) {
  TempDir home, bare;
  ASSERT_TRUE(write_file(home.file(".Xauthority"), "x", 1));
  const std::string implied = "XAUTHORITY=" + home.file(".Xauthority");
  const struct {
    const char* name;
    std::vector<std::string> environment;
    std::vector<std::string> passed;
  } cases[] = {
      {"every variable, in its order",
       {"LC_ALL=de_DE.UTF-8", "HOME=/home/op", "DISPLAY=:0", "PATH=/bin", "XAUTHORITY=/a b",
        "LANGUAGE=de", "LANG=C", "LC_NUMERIC=C", "LCX=1", "DISPLAYS=2"},
       {"LC_ALL=de_DE.UTF-8", "DISPLAY=:0", "XAUTHORITY=/a b", "LANGUAGE=de", "LANG=C",
        "LC_NUMERIC=C"}},
      {"X authority implied by HOME",
       {"DISPLAY=:1", "HOME=" + home.path().string()},
       {"DISPLAY=:1", implied}},
      {"HOME without an X authority",
       {"DISPLAY=:1", "HOME=" + bare.path().string()},
       {"DISPLAY=:1"}},
      {"no display, so no X authority",
       {"HOME=" + home.path().string(), "LANG=de_DE.UTF-8"},
       {"LANG=de_DE.UTF-8"}},
      {"nothing", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Environment environment(c.environment);
    std::vector<std::string> expected{"env"};
    expected.insert(expected.end(), c.passed.begin(), c.passed.end());
    expected.push_back("/opt/cvw/wipedesk");
    EXPECT_EQ(pkexec_arguments("/opt/cvw/wipedesk", environment.get(), PkexecWay::ThroughEnv),
              expected);
  }
}

// The program runs as root: a locale variable that names a folder of the operator's would make
// it load the operator's files. Only well-formed names pass, either way, each one left out is
// logged once, and the rest of the environment reaches pkexec as it was.
TEST(Elevation, OnlyWellFormedLocaleNamesReachTheProgram) {
  const struct {
    const char* entry;
    bool passed;
  } cases[] = {
      {"LANG=de_DE.UTF-8", true},
      {"LANG=C", true},
      {"LANG=C.UTF-8", true},
      {"LANG=POSIX", true},
      {"LC_MESSAGES=sr_RS@latin", true},
      {"LC_TIME=de_DE.ISO-8859-15@euro", true},
      {"LC_MONETARY=es_419.UTF-8", true},
      {"LANGUAGE=de:en_GB:fr", true},
      {"LANGUAGE=de::en:", true},
      {"LANG=", false},
      {"LANG=../../home/op/x", false},
      {"LC_ALL=/tmp/x", false},
      {"LC_MESSAGES=de_DE.UTF-8/../../x", false},
      {"LC_CTYPE=de_DE..UTF-8", false},
      {"LC_PAPER=de DE", false},
      {"LC_NAME=de_DE.UTF-8\n", false},
      {"LC_ADDRESS=de_DEUTSCHLAND", false},
      {"LC_TELEPHONE=d3_DE", false},
      {"LC_MEASUREMENT=de_DE.UTF-8@", false},
      {"LANGUAGE=:", false},
      {"LANGUAGE=", false},
      {"LANGUAGE=de:../../home/op/locale", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    Environment environment({"DISPLAY=:0", "PATH=/usr/bin", c.entry});
    LogCapture log;
    const std::vector<std::string> arguments =
        pkexec_arguments("/opt/cvw/wipedesk", environment.get(), PkexecWay::ThroughEnv);
    const std::vector<std::string> started = pkexec_environment(environment.get());
    std::vector<std::string> expectedArguments{"env", "DISPLAY=:0"};
    std::vector<std::string> expectedEnvironment{"DISPLAY=:0", "PATH=/usr/bin"};
    if (c.passed) {
      expectedArguments.push_back(c.entry);
      expectedEnvironment.push_back(c.entry);
    }
    expectedArguments.push_back("/opt/cvw/wipedesk");
    EXPECT_EQ(arguments, expectedArguments);
    EXPECT_EQ(started, expectedEnvironment);
    const std::string name(c.entry, std::string(c.entry).find('='));
    EXPECT_EQ(count(log.text(), "Elevation.cpp(47): " + name + " is not passed on"),
              c.passed ? 0u : 1u)
        << log.text();
  }
}

// Run by its own path under the action that names it, the program gets only what pkexec keeps
// of pkexec's environment: the X authority that HOME implies must be in it already.
TEST(Elevation, TheDirectWayNamesTheProgramAlone) {
  TempDir home;
  ASSERT_TRUE(write_file(home.file(".Xauthority"), "x", 1));
  Environment environment(
      {"DISPLAY=:3", "HOME=" + home.path().string(), "LANGUAGE=de", "LC_ALL=../x", "OTHER=1"});
  LogCapture log;
  EXPECT_EQ(pkexec_arguments("/opt/cvw/wipedesk", environment.get(), PkexecWay::Direct),
            std::vector<std::string>{"/opt/cvw/wipedesk"});
  EXPECT_EQ(pkexec_environment(environment.get()),
            (std::vector<std::string>{"DISPLAY=:3", "HOME=" + home.path().string(), "LANGUAGE=de",
                                      "OTHER=1", "XAUTHORITY=" + home.file(".Xauthority")}));
  EXPECT_NE(log.text().find("Elevation.cpp(47): LC_ALL is not passed on, it holds no locale "
                            "name: \"../x\"\n"),
            std::string::npos)
      << log.text();
}
