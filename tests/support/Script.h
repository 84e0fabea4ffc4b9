// Stand-in programs for the tests that start one: small shell scripts that write down what they
// were given, and the wait for what they wrote.
#pragma once

#include <string>

// Writes the executable shell script `path`, which runs the shell `commands` and writes their
// output to the file `record` whole: to a temporary file first, renamed when complete, so that
// a reader never sees half of it.
void write_recording_script(const std::string& path, const std::string& commands,
                            const std::string& record);

// The text of the file `path` once it is there, waiting up to `seconds` for it; "" when it
// does not come.
std::string wait_for_file(const std::string& path, int seconds = 5);
