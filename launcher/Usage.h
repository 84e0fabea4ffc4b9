// What the launcher answers on its command line: its usage for "--help" and its revision for
// "--version". It takes no other arguments, and passes none on.
#pragma once

#include <iosfwd>
#include <optional>

// When an argument after the first is "--help" or "--version", writes the usage (translated) or
// the revision to `out` and returns the exit code 0; else nothing, and the launcher opens the
// program. "--help" wins over "--version".
std::optional<int> launcher_information(int argc, char** argv, std::ostream& out);
