#include "LocalTime.h"

#include <ctime>
#include <limits>

std::int64_t current_time() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string format_local_time(std::int64_t time, const char* format) {
  if (time < std::numeric_limits<std::time_t>::min() ||
      time > std::numeric_limits<std::time_t>::max())
    return std::string();
  const std::time_t t = static_cast<std::time_t>(time);
  const std::tm* local = std::localtime(&t);
  if (local == nullptr)
    return std::string();
  // strftime's result is undefined when it does not fit; a zero length says so.
  char buffer[256];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, local);
  return std::string(buffer, length);
}

std::string format_local_time_or_number(std::int64_t time, const char* format) {
  std::string text = format_local_time(time, format);
  return text.empty() ? std::to_string(time) : text;
}
