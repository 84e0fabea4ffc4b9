#include "Launch.h"

#include "DebugLog.h"
#include "Elevation.h"
#include "Notice.h"
#include "OpenSibling.h"
#include "Usage.h"

#include <filesystem>
#include <iostream>
#include <ostream>
#include <string>

namespace fs = std::filesystem;

int launch(int argc, char** argv, gchar** environment) {
  if (argc <= 0 || argv == nullptr || argv[0] == nullptr)
    return -1;
  const fs::path launcher = launcher_path(argv[0]);
  use_catalogues(launcher.parent_path().string());
  if (const std::optional<int> answered = launcher_information(argc, argv, std::cout))
    return *answered;

  const std::string named = launched_program(launcher.string());
  if (named.empty()) {
    tell_operator(unknown_launcher_text(launcher.filename().string()));
    return -1;
  }
  std::error_code error;
  const fs::path program = fs::canonical(named, error);
  if (error || !fs::is_regular_file(program, error)) {
    tell_operator(missing_program_text(named));
    return -1;
  }
  if (IsUserAnAdmin()) {
    debug_log() << "Launch.cpp(34): opening " << program.string() << "\n";
    if (open_program(program.string()) == 0)
      return 0;
    tell_operator(unopened_program_text(program.string()));
    return -1;
  }
  const ElevationOutcome outcome = run_with_administrator_rights(program.string(), environment);
  if (outcome.elevation == Elevation::Ran)
    return 0;
  tell_operator(elevation_failure_text(outcome, program.filename().string()));
  return -1;
}
