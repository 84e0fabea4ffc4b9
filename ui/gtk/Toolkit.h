// Starting the toolkit the way every run of the desktop program does, tests included.
#pragma once

namespace gtk {

// The program's name for the system and for assistive tools (g_set_prgname).
constexpr const char* program_name = "wipedesk";

// Sets the program name, then initialises GTK with the command line, which it may shorten.
// Returns false when GTK cannot start (no display).
bool init_toolkit(int& argc, char**& argv);

} // namespace gtk
