#include "FillPattern.h"

#include "ConfigValue.h"
#include "ReaderFile.h"

namespace {

// The written member is "pattern":"...": the text form lies between these 11 characters and
// the closing quote.
constexpr std::size_t text_start = 11;

// Whether `text` holds a double quote that no backslash escapes. Escapes are a backslash and
// one character (the hex digits of \x and \u hold no quote), so skipping the character after
// each backslash finds every bare quote.
bool has_bare_quote(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\\') {
      if (c[1] == '\0')
        return false;
      ++c;
    } else if (*c == '"') {
      return true;
    }
  }
  return false;
}

} // namespace

std::string pattern_to_text(const std::string& pattern) {
  config::Value value(config::Value::Object);
  value.set("pattern", pattern);
  const std::string text = value.to_string(config::Braces::Omitted, config::Layout::OneLine);
  return text.substr(text_start, text.size() - text_start - 1);
}

std::string text_to_pattern(const char* text) {
  // A bare quote would end the pattern early and let the rest of the line read as further
  // members; the operator's text would be cut short without a word, so it is refused.
  if (has_bare_quote(text))
    return std::string();
  const std::string line = std::string("\"pattern\":\"") + text + "\"";
  config::Value value;
  if (!value.parse(line.c_str()))
    return std::string();
  return value.get("pattern").as_string();
}

PatternFileStatus read_pattern_file(const std::string& path, std::uint32_t maxBytes,
                                    std::string& pattern) {
  dt::ReaderFile file;
  if (!file.open(path))
    return file.not_a_file() ? PatternFileStatus::NotAFile : PatternFileStatus::CannotOpen;
  const std::uint64_t length = file.size() < maxBytes ? file.size() : maxBytes;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  if (length > 0 && !file.read_exact(0, bytes.data(), length))
    return PatternFileStatus::CannotRead;
  pattern = std::move(bytes);
  return PatternFileStatus::Read;
}
