// The launcher from its command line to the program's end.
#pragma once

#include <glib.h>

// Opens the program that the launcher `argv[0]` names, beside it: through the shell when the
// launcher runs with administrator rights, else through pkexec with the variables of
// `environment`, waiting until the program ends. Returns the launcher's exit code: 0 when the
// program was opened (or ran), or after "--help" and "--version"; -1 after telling the
// operator why not.
int launch(int argc, char** argv, gchar** environment);
