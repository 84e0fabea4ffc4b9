// The process-wide debug log.
//
// Every diagnostic line starts with the source file's name, a place number in parentheses and
// ": " (or the bare position and a line feed). The "File.cpp(N)" texts are stable identifiers
// that tests and operators match: they name a place, not the line it happens to stand on, and
// are never renumbered when code moves. The entry point chooses the stream once, before the
// first line is written; until then lines go to standard error. A LogRedirect (LogRedirect.h)
// sends them elsewhere for a while.
#pragma once

#include <iosfwd>

std::ostream& debug_log();

// Makes `stream` the debug log. The stream must outlive every later use of the log.
void set_debug_log(std::ostream& stream);
