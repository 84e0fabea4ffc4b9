// The program directory that the build makes is complete: the programs, the configuration with
// every key the program reads (and no address to fetch updates from), and every file the
// configuration names.
#include "ConfigValue.h"
#include "Files.h"
#include "Strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path program_directory = CVW_PROGRAM_DIR;

config::Value shipped_configuration() {
  std::string text;
  config::Value configuration;
  EXPECT_TRUE(read_file((program_directory / "wipedesk.cfg").string(), text));
  EXPECT_TRUE(configuration.parse(text.c_str()));
  return configuration;
}

} // namespace

TEST(ProgramDirectory, HoldsTheProgramsAndTheirDataFiles) {
  for (const char* name :
       {"wipedesk", "cvwdrv", "wipelaunch", "wipedesk Start", "tonlet", "wipedesk.cfg",
        "lib/gtkrc-2.0", "lib/locale/de/LC_MESSAGES/CVW.mo", "lib/locale/en/manual.html",
        "lib/locale/en/splash.png", "lib/locale/de/splash.png", "lib/sounds/error.wav",
        "lib/sounds/done.wav", "lib/TopUI/TopUI.ui", "lib/WipeUI/WipeUI.ui", "lib/ViewUI/ViewUI.ui",
        "lib/WipeCertificateUI/background.png"})
    EXPECT_TRUE(fs::exists(program_directory / name)) << name;
}

TEST(ProgramDirectory, TheConfigurationHoldsEveryKeyTheProgramReads) {
  const config::Value configuration = shipped_configuration();
  const char* const texts[] = {"Program Name",       "Program Window Icons", "Quit Icons",
                               "Manual File",        "Splash Image",         "Splash Text Variable",
                               "Splash Text Format", "Splash Open Variable"};
  for (const char* key : texts)
    EXPECT_NO_THROW(configuration.get_string(key)) << key;
  const char* const numbers[] = {
      "Splash Text Area X",      "Splash Text Area Y",       "Splash Text Area Width",
      "Splash Text Area Height", "Splash Text X Alignment",  "Splash Text Y Alignment",
      "Splash Open Area X",      "Splash Open Area Y",       "Splash Open Area Width",
      "Splash Open Area Height", "Splash Close Area X",      "Splash Close Area Y",
      "Splash Close Area Width", "Splash Close Area Height", "Splash Timeout"};
  for (const char* key : numbers)
    EXPECT_NO_THROW(configuration.get_number(key)) << key;
  EXPECT_NO_THROW(configuration.get_boolean("Desktop"));
  EXPECT_EQ(configuration.get("wipe").get("command").get_string("command"), "wipe");
  EXPECT_TRUE(configuration.get("wipe").get_boolean("stop at drive warning"));
  // Set by the program at start: the key the splash names may be one of them.
  EXPECT_EQ(configuration.get_string("Splash Text Variable"), "Program Revision");
  EXPECT_EQ(configuration.get_string("Splash Open Variable"), "Program Path");
  // Nothing goes to the network unless an operator says so.
  EXPECT_FALSE(configuration.has("Update URL"));
}

TEST(ProgramDirectory, EveryPictureTheConfigurationNamesIsThere) {
  const config::Value configuration = shipped_configuration();
  for (const char* key : {"Program Window Icons", "Quit Icons"}) {
    std::vector<std::string> names;
    split(configuration.get_string(key), names, ',');
    EXPECT_GE(names.size(), 2u) << key;
    for (std::string& name : names) {
      trim(name, " \t");
      EXPECT_TRUE(fs::is_regular_file(program_directory / name)) << key << ": " << name;
    }
  }
  EXPECT_TRUE(fs::is_regular_file(program_directory / "lib/locale/en" /
                                  configuration.get_string("Splash Image")));
  EXPECT_TRUE(fs::is_regular_file(program_directory / "lib/locale/en" /
                                  configuration.get_string("Manual File")));
}
