// Redirects the debug log into a string for the life of the object.
#pragma once

#include "DebugLog.h"

#include <iostream>
#include <sstream>
#include <string>

class LogCapture {
public:
  LogCapture() { set_debug_log(stream); }
  ~LogCapture() { set_debug_log(std::cerr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const { return stream.str(); }
  void clear() { stream.str(std::string()); }

private:
  std::ostringstream stream;
};
