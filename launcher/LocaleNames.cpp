#include "LocaleNames.h"

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_code_character(char c) { return is_letter(c) || is_digit(c) || c == '-' || c == '_'; }

// Takes the longest run of characters that `accepted` allows from the front of `text`, when its
// length is within [least, most].
template <typename Accepted>
bool take(std::string_view& text, std::size_t least, std::size_t most, Accepted accepted) {
  std::size_t length = 0;
  while (length < text.size() && accepted(text[length]))
    ++length;
  if (length < least || length > most)
    return false;
  text.remove_prefix(length);
  return true;
}

bool take_part(std::string_view& text, char mark, std::size_t least, std::size_t most,
               bool (*accepted)(char)) {
  if (text.empty() || text.front() != mark)
    return true; // the part is optional
  text.remove_prefix(1);
  return take(text, least, most, accepted);
}

bool is_territory_character(char c) { return is_letter(c) || is_digit(c); }

} // namespace

bool is_locale_name(std::string_view name) {
  if (!take(name, 1, 8, is_letter))
    return false;
  if (!take_part(name, '_', 2, 3, is_territory_character))
    return false;
  // A codeset may hold "_" (ISO_8859-1), so it is read before the modifier and the territory
  // cannot follow it.
  if (!take_part(name, '.', 1, 32, is_code_character))
    return false;
  if (!take_part(name, '@', 1, 32, is_code_character))
    return false;
  return name.empty();
}

bool is_locale_list(std::string_view list) {
  bool named = false;
  while (true) {
    const std::size_t colon = list.find(':');
    const std::string_view item = list.substr(0, colon);
    if (!item.empty()) {
      if (!is_locale_name(item))
        return false;
      named = true;
    }
    if (colon == std::string_view::npos)
      return named;
    list.remove_prefix(colon + 1);
  }
}

bool is_locale_variable(std::string_view variable) {
  return variable == "LANG" || variable == "LANGUAGE" || variable.substr(0, 3) == "LC_";
}

bool is_locale_value(std::string_view variable, std::string_view value) {
  return variable == "LANGUAGE" ? is_locale_list(value) : is_locale_name(value);
}
