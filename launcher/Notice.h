// What the launcher tells the operator when the program did not start: one line on standard
// error, and a message box when a display can be reached. The launcher opens no window
// otherwise.
#pragma once

#include "Elevation.h"

#include <string>

// Takes the operator's language from the environment and the translations from lib/locale in
// `programDirectory`, as the desktop program does.
void use_catalogues(const std::string& programDirectory);

// The translated text for an outcome other than Ran: why `program` (its file name) did not
// start, in pkexec's own words where it gave any, and what the operator can do.
std::string elevation_failure_text(const ElevationOutcome& outcome, const std::string& program);

// The translated text for a launcher `launcher` (its file name) whose name names no program.
std::string unknown_launcher_text(const std::string& launcher);

// The translated text for a program `program` (its path) that is not there.
std::string missing_program_text(const std::string& program);

// The translated text for a program `program` (its path) that the shell would not open.
std::string unopened_program_text(const std::string& program);

// Writes `text` on standard error, then shows it in a modal error box when GTK can reach a
// display, and returns when the operator has closed it.
void tell_operator(const std::string& text);
