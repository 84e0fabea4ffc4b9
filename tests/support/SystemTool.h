// The outside programs that tests use to make real file systems (mkfs.fat, mkntfs): found in
// the system folders or along PATH, and run to the end.
#pragma once

#include <string>
#include <vector>

// The tool's full path, looked for in the system folders and along PATH; empty when missing.
std::string find_tool(const char* name);

// Runs `argv` (its first element a full path) and waits for its end. Returns true when it ran
// and exited with 0; `output` gets what it wrote to standard output and standard error, with
// the reason when it could not be started.
bool run_tool(const std::vector<std::string>& argv, std::string& output);
