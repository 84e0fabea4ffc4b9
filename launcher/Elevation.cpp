#include "Elevation.h"

#include "Win32Process.h"

#include <cstring>
#include <memory>

namespace {

bool passed_on(const char* name) {
  return std::strcmp(name, "DISPLAY") == 0 || std::strcmp(name, "XAUTHORITY") == 0 ||
         std::strcmp(name, "LANG") == 0 || std::strcmp(name, "LANGUAGE") == 0 ||
         std::strncmp(name, "LC_", 3) == 0;
}

// pkexec's exit codes when the program did not run.
constexpr int pkexec_dismissed = 126;
constexpr int pkexec_refused = 127;

} // namespace

std::vector<std::string> pkexec_arguments(const std::string& program, gchar** environment) {
  std::vector<std::string> arguments{"env"};
  for (gchar** entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr || equals == *entry)
      continue;
    if (passed_on(std::string(static_cast<const char*>(*entry), equals).c_str()))
      arguments.push_back(*entry);
  }
  // Without XAUTHORITY the X libraries read ~/.Xauthority, and under pkexec "~" is root's.
  if (g_environ_getenv(environment, "XAUTHORITY") == nullptr &&
      g_environ_getenv(environment, "DISPLAY") != nullptr) {
    const gchar* home = g_environ_getenv(environment, "HOME");
    if (home != nullptr && *home != '\0') {
      std::unique_ptr<gchar, decltype(&g_free)> file(g_build_filename(home, ".Xauthority", nullptr),
                                                     g_free);
      if (g_file_test(file.get(), G_FILE_TEST_IS_REGULAR))
        arguments.push_back(std::string("XAUTHORITY=") + file.get());
    }
  }
  arguments.push_back(program);
  return arguments;
}

Elevation run_with_administrator_rights(const std::string& program) {
  std::unique_ptr<gchar, decltype(&g_free)> pkexec(g_find_program_in_path("pkexec"), g_free);
  if (pkexec == nullptr)
    return Elevation::NoPkexec;
  gchar** environment = g_get_environ();
  std::vector<std::string> arguments = pkexec_arguments(program, environment);
  g_strfreev(environment);
  std::vector<char*> argv{pkexec.get()};
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  int status = 0;
  if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_CHILD_INHERITS_STDIN, nullptr, nullptr,
                    nullptr, nullptr, &status, nullptr))
    return Elevation::Failed;
  switch (platform::exit_status(status)) {
  case pkexec_dismissed: return Elevation::Dismissed;
  case pkexec_refused: return Elevation::Refused;
  default: return Elevation::Ran;
  }
}
