#include "Locale.h"

#include "Files.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// Sets the locale variables for one test and puts the old values back afterwards.
class LocaleEnvironment {
public:
  LocaleEnvironment() {
    for (const char* name : names)
      if (const char* value = g_getenv(name))
        saved[name] = value;
  }
  ~LocaleEnvironment() {
    for (const char* name : names) {
      const auto old = saved.find(name);
      if (old == saved.end())
        g_unsetenv(name);
      else
        g_setenv(name, old->second.c_str(), TRUE);
    }
  }
  void set(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* values[] = {lcAll, lcMessages, lang};
    for (int i = 0; i < 3; ++i) {
      if (values[i] == nullptr)
        g_unsetenv(names[i]);
      else
        g_setenv(names[i], values[i], TRUE);
    }
  }

private:
  static constexpr const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::map<std::string, std::string> saved;
};

} // namespace

TEST(Locale, ChoosesTheUsersFolderThenItsLanguageThenEnglish) {
  const struct {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    std::vector<const char*> folders;
    const char* chosen;
    const char* log;
  } cases[] = {
      {"de_DE", nullptr, nullptr, {"de_DE", "de"}, "de_DE", ""},
      {"de_DE", nullptr, nullptr, {"de"}, "de", "Locale.cpp(44): de_DE\n"},
      {"de_DE", nullptr, nullptr, {}, "en", "Locale.cpp(44): de_DE\nLocale.cpp(50): de\n"},
      {"fr", nullptr, nullptr, {}, "fr", "Locale.cpp(44): fr\n"},
      {"de_DE.UTF-8", nullptr, nullptr, {"de_DE"}, "de_DE", ""},
      {"sr_RS@latin", nullptr, nullptr, {"sr"}, "sr", "Locale.cpp(44): sr_RS\n"},
      {nullptr, nullptr, nullptr, {"en"}, "en", "Locale.cpp(40)\n"},
      {"C", nullptr, "de_DE", {"de_DE"}, "en", "Locale.cpp(40)\n"},
      {"POSIX", nullptr, nullptr, {}, "en", "Locale.cpp(40)\n"},
      // The first variable that is set and not empty decides.
      {"", "it_IT", "de_DE", {"it_IT", "de_DE"}, "it_IT", ""},
      {nullptr, nullptr, "pt_BR.UTF-8", {"pt_BR"}, "pt_BR", ""},
  };
  LocaleEnvironment environment;
  for (const auto& c : cases) {
    TempDir dir;
    for (const char* folder : c.folders)
      std::filesystem::create_directory(dir.path() / folder);
    environment.set(c.lcAll, c.lcMessages, c.lang);
    LogCapture log;
    Locale& locale = Locale::instance();
    locale.init(dir.path().string());
    EXPECT_EQ(locale.name(), c.chosen) << (c.lcAll ? c.lcAll : "-");
    EXPECT_EQ(locale.directory(), dir.path().string());
    EXPECT_EQ(log.text(), c.log) << (c.lcAll ? c.lcAll : "-");
  }
}

TEST(Locale, PathFallsBackToEnglishWhenTheFileIsMissing) {
  LocaleEnvironment environment;
  environment.set("de_DE", nullptr, nullptr);
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "de");
  ASSERT_TRUE(write_file(dir.file("de/manual.pdf"), "pdf", 3));
  const std::string root = dir.path().string();
  Locale& locale = Locale::instance();
  locale.init(root);

  LogCapture log;
  EXPECT_EQ(locale.path("manual.pdf"), root + "/de/manual.pdf");
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(locale.path("splash.png"), root + "/en/splash.png");
  EXPECT_EQ(log.text(), "Locale.cpp(63): " + root + "/de/splash.png\n");

  // A language without a folder stays chosen, and every file then comes from "en".
  environment.set("fr", nullptr, nullptr);
  locale.init(root);
  log.clear();
  EXPECT_EQ(locale.path("manual.pdf"), root + "/en/manual.pdf");
  EXPECT_EQ(log.text(), "Locale.cpp(63): " + root + "/fr/manual.pdf\n");
}
