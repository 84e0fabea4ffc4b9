#include "Elevation.h"

#include "Files.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    std::vector<char*> environment;
    std::vector<std::string> copies = c.environment;
    for (std::string& entry : copies)
      environment.push_back(entry.data());
    environment.push_back(nullptr);
    std::vector<std::string> expected{"env"};
    expected.insert(expected.end(), c.passed.begin(), c.passed.end());
    expected.push_back("/opt/cvw/wipedesk");
    EXPECT_EQ(pkexec_arguments("/opt/cvw/wipedesk", environment.data()), expected);
  }
}
