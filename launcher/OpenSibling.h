// The launcher's one job: open the program that lies beside it, named after the launcher
// itself. A launcher "Tool Start.exe" opens "Tool.exe"; here, where programs have no ending, a
// launcher "wipedesk Start" opens "wipedesk". Under its own name, "wipelaunch", it opens
// "wipedesk".
#pragma once

#include "Win32.h"

#include <string>

// The ending of a launcher's name and what replaces it in the name of the program it opens.
constexpr const char* launcher_ending = " Start";
constexpr const char* launcher_replacement = "";

// The launcher's own name, and the program that it opens under it.
constexpr const char* launcher_name = "wipelaunch";
constexpr const char* launched_name = "wipedesk";

// How the program is opened: ShellExecuteA, or a stand-in in tests.
using ShellOpen = HINSTANCE (*)(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                LPCSTR directory, int show);

// `path` with its `ending` (compared byte for byte) replaced by `replacement`; empty when `path`
// does not end in `ending`.
std::string sibling_program(const char* path, const char* ending, const char* replacement);

// The program that the launcher `path` opens: by the naming rule above, or, when its file name
// is launcher_name, launched_name in its folder. Empty when its name names no program.
std::string launched_program(const std::string& path);

// Opens `program` through the shell's "open", without arguments, working directory or waiting.
// Returns 0 when the shell took the request, else -1.
int open_program(const std::string& program, ShellOpen open = ShellExecuteA);

// Opens `path` with its `ending` (compared byte for byte) replaced by `replacement`, through
// the shell's "open", without arguments, working directory or waiting. Returns 0 when the shell
// took the request; -1 when `path` does not end in `ending` or the shell refused.
int open_sibling_program(const char* path, const char* ending, const char* replacement,
                         ShellOpen open = ShellExecuteA);

// The launcher's own file, links resolved: `argv0` as the system passed it when it names the
// file by a path, else the running program's file (started along PATH).
std::string launcher_path(const char* argv0);
