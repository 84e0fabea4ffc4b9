// Feeds arbitrary bytes to config::Value::parse. Whatever parses must write back to a text that
// parses to the same value, in every layout.
#include "ConfigValue.h"
#include "LogRedirect.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const LogRedirect quiet(LogRedirect::Lines::Discarded);

  const std::string text(reinterpret_cast<const char*>(data), size); // NUL-terminated copy
  config::Value value(config::Value::Object);
  if (!value.parse(text.c_str()))
    return 0;
  const std::string compact = value.to_string(config::Braces::Kept, config::Layout::OneLine);
  for (const config::Braces braces : {config::Braces::Kept, config::Braces::Omitted}) {
    if (braces == config::Braces::Omitted && value.type() == config::Value::Object &&
        value.as_object().empty())
      continue;
    for (const config::Layout layout : {config::Layout::OneLine, config::Layout::Indented}) {
      config::Value back(config::Value::Object);
      if (!back.parse(value.to_string(braces, layout).c_str()) ||
          back.to_string(config::Braces::Kept, config::Layout::OneLine) != compact)
        std::abort();
    }
  }
  return 0;
}
