// The process-wide singletons of the desktop program, saved for one test and put back after it:
// the program configuration, the user settings and their directory, the wipe history and the
// locale folder. A test that changes any of them holds a guard (GuiTest holds one for every test
// of the GUI kit), so that no test hands its state to the next one run in the same process.
//
// The guard also gives the test a fresh start: an empty configuration Object, the default
// settings without a directory, and an empty history kept in no file and telling nobody. The
// locale folder is left as it is (it is chosen only by start-up and by the tests of it).
#pragma once

#include "ConfigValue.h"
#include "Locale.h"
#include "MainLog.h"
#include "Settings.h"

#include <string>

class SingletonGuard {
public:
  SingletonGuard();
  ~SingletonGuard();
  SingletonGuard(const SingletonGuard&) = delete;
  SingletonGuard& operator=(const SingletonGuard&) = delete;

private:
  config::Value configuration;
  Settings settings;
  std::string settingsDirectory;
  MainLog history;
  Locale locale;
};
