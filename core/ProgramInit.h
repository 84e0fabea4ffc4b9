// Start-up of the desktop program: reading the program configuration file beside the program,
// completing the configuration with what start-up computes, and preparing the locale and the
// translations.
//
// The steps that belong to the layers above the core library (the user settings, the
// toolkit) are called through ProgramInitSteps, each in its place in the sequence.
#pragma once

#include "ConfigValue.h"
#include "PropertyMap.h"

#include <stdexcept>
#include <string>
#include <utility>

// Why program_init could not take the program configuration file. what() is the debug-log
// identifier of the failure ("ProgramInit.cpp(51)": the file cannot be read;
// "ProgramInit.cpp(55)": it cannot be parsed); reason() says the same in a sentence for an
// operator who sees no log, with the file's path.
class ProgramConfigError : public std::runtime_error {
public:
  ProgramConfigError(const char* identifier, std::string reason)
      : std::runtime_error(identifier), reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

private:
  std::string reason_;
};

class ProgramInitSteps {
public:
  virtual ~ProgramInitSteps() = default;

  // Points the user settings at `directory` and loads `path` (settings.cfg there) into them.
  // Returns false when the file is missing, unreadable, not parsable or of another shape; the
  // settings then keep their defaults. Until the user settings exist there is nothing to load
  // and the step succeeds.
  virtual bool load_settings(const std::string& directory, const std::string& path);

  // Makes `directory` (the program's "lib" folder) the resource directory and adds the
  // toolkit's resource file in it.
  virtual void add_resource_file(const std::string& directory) = 0;

  // Initialises the toolkit with the command line, which it may shorten. Returns false when it
  // cannot (no display, for one).
  virtual bool init_toolkit(int& argc, char**& argv) = 0;

  // Sets the toolkit's theme by name.
  virtual void set_theme(const std::string& name) = 0;

  // Sets every window's icons from "Program Window Icons" under "Program Path" in `icons`.
  virtual void set_window_icons(const PropertyMap& icons) = 0;
};

// Initialises the program from the configuration file named after the program with ".cfg",
// in the real directory of the program's file (argv[0], or the running program itself when
// argv[0] has no directory part, as when it was found along PATH). Fills `configuration` and
// sets its "Program Path" to that directory, its "Program Revision" to program_revision() and
// its "Driver" to the engine program there, whatever the file held.
// Returns false, with a debug-log line, when there is no argv[0] or the toolkit cannot be
// initialised. Throws ProgramConfigError "ProgramInit.cpp(51)" when the file cannot be read and
// "ProgramInit.cpp(55)" when it cannot be parsed. A configuration of the wrong shape (a top level
// that is not an Object, a required member that is missing, a member of another type) throws
// config::Value::Exception, its text naming the member, only once the toolkit and the
// translations are ready, so that it can be told in a box.
bool program_init(config::Value& configuration, int& argc, char**& argv, ProgramInitSteps& steps);

// The program configuration file of the program started as `argv0`: in the real directory of
// the program's file, named after it with ".cfg" (see program_init).
std::string program_config_file(const char* argv0);

// The program's own revision, built in: "v" and the build date as six digits (year, month,
// day).
const char* program_revision();
