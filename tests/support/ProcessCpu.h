// The processor time of a running process as /proc tells it, for the tests and benchmarks that
// watch the engine's process.
#pragma once

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

// Clock ticks (sysconf(_SC_CLK_TCK) of them to a second) that the process `pid` has run so far,
// all its threads together, ended ones included; -1 when that cannot be read.
inline long long cpu_ticks_of(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')'); // the name in parentheses may hold anything
  if (close == std::string::npos)
    return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field)
    fields >> skip;
  long long user = 0, system = 0;
  fields >> user >> system;
  return user + system;
}
