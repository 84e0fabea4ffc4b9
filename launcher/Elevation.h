// Starting the desktop program with administrator rights when the launcher runs without them.
// On Windows the shell asks for the rights that the program's manifest requests; on a Linux
// desktop a disk tool asks through polkit's pkexec. pkexec clears the environment, so what the
// program needs to reach the display and to speak the operator's language travels in its
// arguments, through env: pkexec env DISPLAY=... XAUTHORITY=... LANG=... /abs/wipedesk.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

// How asking for the rights ended.
enum class Elevation {
  Ran,       // pkexec ran the program (which has ended)
  NoPkexec,  // there is no pkexec along PATH
  Dismissed, // the operator dismissed the authentication dialog (pkexec's exit code 126)
  Refused,   // not authorised, or pkexec failed (its exit code 127)
  Failed,    // pkexec could not be started
};

// The arguments after "pkexec" that run `program` (an absolute path) with the variables of
// `environment` that reach the display and the language: DISPLAY, XAUTHORITY (or, when it is not
// set, the X authority file of HOME where there is one), LANG, LANGUAGE and every LC_*.
std::vector<std::string> pkexec_arguments(const std::string& program, gchar** environment);

// Runs `program` (an absolute path) through the pkexec found along PATH with the arguments
// above, and waits until pkexec ends, which it does when the program ends (or at once when it
// is not allowed to run it).
Elevation run_with_administrator_rights(const std::string& program);
