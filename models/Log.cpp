#include "Log.h"

#include "LocalTime.h"

void Log::add(const std::string& entry) {
  std::string piece;
  if (!text_.empty())
    piece += '\n';
  // When the clock cannot be written as a time, its number stands in, so the prefix is never
  // empty or garbage.
  const std::string prefix = format_local_time_or_number(current_time(), "%X") + "  ";
  piece += prefix;
  const std::string indent(prefix.size(), ' ');
  for (char c : entry) {
    piece += c;
    if (c == '\n')
      piece += indent;
  }
  text_ += piece;
  if (callback_ != nullptr)
    callback_->appended(piece);
}
