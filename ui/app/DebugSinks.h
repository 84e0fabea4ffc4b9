// Where the desktop program's debug log goes, chosen from its "dbg=" arguments before anything
// is logged.
//
//   no "dbg=", or "dbg=ostringstream"  kept in memory, its newest 8 MiB of lines (the settings
//                                      dialog can save it)
//   "dbg=null"                         discarded
//   "dbg=stderr"                       standard error
//   "dbg=<file>"                       that file, truncated; standard error when it cannot be
//                                      opened ("dbg=" alone names the empty file name), is no
//                                      regular file (a link there is not followed) or lies
//                                      where another user may change the way to it
// The last "dbg=" argument wins; the comparisons are case-sensitive. A flood of lines into the
// file or standard error is cut to bursts of 4 MiB and 64 KiB a second, with one line that says
// how many lines were dropped.
#pragma once

#include <string>

// Makes the chosen sink the debug log and records its name.
void choose_debug_sink(int argc, char** argv);

// "ostringstream", "null", "stderr" or "ofstream": the sink chosen; "" before the choice.
const std::string& debug_sink_name();

// What the in-memory sink holds: its newest lines, after a line that says how many older ones
// were dropped when any were.
std::string debug_log_text();

// Makes standard error the debug log. (On Windows the program has no console of its own and
// opens one first; here standard error is there already.)
void open_debug_console();
