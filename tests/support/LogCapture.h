// Redirects the debug log into a string for the life of the object.
#pragma once

#include "LogRedirect.h"

#include <sstream>
#include <string>

class LogCapture {
public:
  LogCapture() = default;
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const { return stream.str(); }
  void clear() { stream.str(std::string()); }

private:
  std::ostringstream stream;
  LogRedirect redirect{stream}; // after the stream, so that the log has left it before it goes
};
