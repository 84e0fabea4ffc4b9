#include "SingletonGuard.h"

#include "ProgramConfig.h"

SingletonGuard::SingletonGuard()
    : configuration(program_config()), settings(Settings::instance()),
      settingsDirectory(Settings::directory()), history(MainLog::instance()),
      locale(Locale::instance()) {
  program_config() = config::Value(config::Value::Object);
  Settings::instance() = Settings();
  Settings::set_directory("");
  MainLog::instance() = MainLog();
}

SingletonGuard::~SingletonGuard() {
  program_config() = configuration;
  Settings::instance() = settings;
  Settings::set_directory(settingsDirectory);
  MainLog::instance() = history;
  Locale::instance() = locale;
}
