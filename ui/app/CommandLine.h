// The desktop program and its command line: what it answers to "--help" and "--version" before
// it starts, and the command that starts it with the rights it needs.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

// When an argument after the first is "--help" or "--version", writes the usage (translated
// through the catalogues beside the program `argv[0]`) or the revision and the build's `commit`
// to `out` and returns the exit code 0; else nothing, and the program starts. "--help" wins
// over "--version". Needs neither a display nor the program configuration.
std::optional<int> program_information(int argc, char** argv, const char* commit,
                                       std::ostream& out);

// Why the program refused to start without administrator rights, and how to start it with
// them, as the operator can type it: the launcher that lies in `programDirectory`.
struct RightsRefusal {
  std::string text; // for the message box, translated
  std::string line; // for standard error
};
RightsRefusal rights_refusal(const std::string& programDirectory);
