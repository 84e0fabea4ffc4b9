#include "PropertyMap.h"

#include <climits>

bool PropertyMap::set_string(const std::string& key, const std::string& value, Existing existing) {
  const auto [entry, added] = emplace(key, value);
  if (added)
    return true;
  if (existing == Existing::Keep)
    return false;
  entry->second = value;
  return true;
}

bool PropertyMap::set_number(const std::string& key, std::uint64_t value, Existing existing) {
  return set_string(key, std::to_string(value), existing);
}

int PropertyMap::get_number(const std::string& key, int defaultValue) const {
  const auto entry = find(key);
  if (entry == end())
    return defaultValue;
  // Read by hand: the C library's readers follow the locale.
  const std::string& text = entry->second;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  if (i == text.size() || text[i] < '0' || text[i] > '9')
    return defaultValue;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit)
      return defaultValue;
  }
  return static_cast<int>(negative ? -value : value);
}

const std::string& PropertyMap::get(const std::string& key) const {
  static const std::string empty;
  const auto entry = find(key);
  return entry == end() ? empty : entry->second;
}
