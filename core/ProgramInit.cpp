#include "ProgramInit.h"

#include "DebugLog.h"
#include "Files.h"
#include "Locale.h"
#include "ProgramConfig.h"
#include "Win32Process.h"

#include <glib.h>
#include <libintl.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <vector>

#ifndef CVW_BUILD_DATE
#error "the build supplies CVW_BUILD_DATE, the build date as six digits"
#endif

namespace {

// The real path of the program's file: argv[0] resolved when it names the file by a path,
// else the file that the system started (found along PATH, say).
std::string program_file(const char* argv0) {
  if (std::strchr(argv0, '/') != nullptr) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(argv0, error);
    return error ? std::string(argv0) : real.string();
  }
  std::vector<char> buffer(1024);
  for (;;) {
    const DWORD length = GetModuleFileNameA(0, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      return argv0;
    if (length < buffer.size())
      return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string take(gchar* text) {
  std::string copy(text);
  g_free(text);
  return copy;
}

} // namespace

bool ProgramInitSteps::load_settings(const std::string&, const std::string&) { return true; }

std::string program_config_file(const char* argv0) {
  const std::string file = program_file(argv0);
  return take(g_path_get_dirname(file.c_str())) + "/" + take(g_path_get_basename(file.c_str())) +
         ".cfg";
}

const char* program_revision() { return "v" CVW_BUILD_DATE; }

bool program_init(config::Value& configuration, int& argc, char**& argv, ProgramInitSteps& steps) {
  if (argc < 1 || argv == nullptr || argv[0] == nullptr) {
    debug_log() << "ProgramInit.cpp(33)\n";
    return false;
  }
  const std::string path = program_config_file(argv[0]);
  const std::string directory = take(g_path_get_dirname(path.c_str())); // the program's own

  std::string text;
  if (!read_file(path, text)) {
    debug_log() << "ProgramInit.cpp(50): " << path << "\n";
    throw ProgramConfigError("ProgramInit.cpp(51)",
                             "cannot read the program configuration " + path);
  }
  if (!configuration.parse(text.c_str())) {
    debug_log() << "ProgramInit.cpp(54): " << path << "\n";
    throw ProgramConfigError("ProgramInit.cpp(55)",
                             "cannot parse the program configuration " + path);
  }

  const std::string settings = directory + "/settings.cfg";
  if (!steps.load_settings(directory, settings))
    debug_log() << "ProgramInit.cpp(62): " << settings << "\n";

  // A configuration of the wrong shape is told once the toolkit runs, so that the operator sees
  // it; until then only what is there in its shape is used.
  const bool members = configuration.type() == config::Value::Object;
  if (members)
    configuration.set("Program Path", directory);
  steps.add_resource_file(directory + "/lib");

  if (members && configuration.has("Locale") &&
      configuration.get("Locale").type() == config::Value::String)
    g_setenv("LC_ALL", configuration.get_string("Locale").c_str(), TRUE);
  if (!steps.init_toolkit(argc, argv)) {
    debug_log() << "ProgramInit.cpp(73)\n";
    return false;
  }
  const std::string translations = directory + "/lib/locale";
  Locale::instance().init(translations);
  bindtextdomain("CVW", translations.c_str());
  bind_textdomain_codeset("CVW", "UTF-8");
  textdomain("CVW");

  if (!members)
    throw config::Value::Exception("the top level is " +
                                   config::Value::type_name(configuration.type()) + ", not Object");
  // A "Locale" of another type, left alone above, is told now.
  if (configuration.has("Locale"))
    (void)configuration.get_string("Locale");
  if (configuration.has("gtk-theme-name"))
    steps.set_theme(configuration.get_string("gtk-theme-name"));

  // The name can be set once per process; setting the same name again changes nothing.
  const std::string& name = configuration.get_string("Program Name");
  if (g_strcmp0(g_get_application_name(), name.c_str()) != 0)
    g_set_application_name(name.c_str());

  PropertyMap icons;
  copy_config_string(configuration, icons, "Program Path");
  copy_config_string(configuration, icons, "Program Window Icons");
  steps.set_window_icons(icons);

  configuration.set("Program Revision", program_revision());
  configuration.set("Driver", directory + "/cvwdrv");
  return true;
}
