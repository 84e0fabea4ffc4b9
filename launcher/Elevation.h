// Starting the desktop program with administrator rights when the launcher runs without them.
// On Windows the shell asks for the rights that the program's manifest requests; on a Linux
// desktop a disk tool asks through polkit's pkexec.
//
// Where an installed polkit action names the program as its exec.path, pkexec runs the program
// by its own path (pkexec /abs/wipedesk): the prompt shows the action's message, and pkexec
// keeps the display for it. Elsewhere (the build tree) pkexec clears the environment, so what
// the program needs to reach the display and to speak the operator's language travels in its
// arguments, through env: pkexec env DISPLAY=... XAUTHORITY=... LANG=... /abs/wipedesk.
//
// Either way the program runs as root with the operator's locale variables: only well-formed
// locale names are passed on (LocaleNames.h).
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
  NoAgent,   // refused as no authentication agent runs to ask for the password (127 again)
  Failed,    // pkexec could not be started
};

// How pkexec is asked to run the program.
enum class PkexecWay {
  Direct,     // pkexec /abs/wipedesk, under the polkit action that names it
  ThroughEnv, // pkexec env DISPLAY=... /abs/wipedesk, under pkexec's own action
};

struct ElevationOutcome {
  Elevation elevation = Elevation::Failed;
  // Why, in pkexec's words: the last lines (at most three) that it wrote to standard error, or
  // why it could not be started. Empty when it said nothing.
  std::string reason;
};

// The variables of `environment` that reach the display and the language, in their order:
// DISPLAY, XAUTHORITY (or, when it is not set, the X authority file of HOME where there is one,
// last), and LANG, LANGUAGE and every LC_* that holds a well-formed locale name (LANGUAGE: a
// list of them).
std::vector<std::string> passed_variables(gchar** environment);

// The arguments after "pkexec" that run `program` (an absolute path): `program` alone, or "env",
// the passed variables and `program`.
std::vector<std::string> pkexec_arguments(const std::string& program, gchar** environment,
                                          PkexecWay way);

// The environment that pkexec starts with: `environment` without the locale variables that are
// not well-formed, each of them logged, and with the X authority that HOME implies when
// XAUTHORITY is not set. pkexec keeps of it what it lets through to the program.
std::vector<std::string> pkexec_environment(gchar** environment);

// Direct when an action file of `folder` names `program` (an absolute path without links) as
// its exec.path and lets pkexec keep the display; else ThroughEnv. Logs which way and why.
PkexecWay pkexec_way(const std::string& program, const std::string& folder);

// Runs `program` (an absolute path without links) through the pkexec found along the PATH of
// `environment`, the way that the action files of polkit_actions_folder(environment) call for,
// and waits until pkexec ends, which it does when the program ends (or at once when it is not
// allowed to run it). What pkexec and the program write to standard error passes on to the
// launcher's; when the program ran, also what its own children write there until the last of
// them lets go of it.
ElevationOutcome run_with_administrator_rights(const std::string& program, gchar** environment);
