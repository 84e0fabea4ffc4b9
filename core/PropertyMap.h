// A table of text values by text key, ordered by key (byte by byte, the shorter of two keys with
// a common start first). Numbers are kept as their decimal text. Readers look keys up like in
// any std::map; the operations below add the write and number rules.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class PropertyMap : public std::map<std::string, std::string> {
public:
  // What a write does to a key that is there already.
  enum class Existing { Replace, Keep };

  // Stores `value` under `key`. With Existing::Keep an existing key keeps its value and the
  // result is false; otherwise the key is added or replaced and the result is true.
  bool set_string(const std::string& key, const std::string& value, Existing existing);

  // As set_string, with the value written as unsigned decimal text.
  bool set_number(const std::string& key, std::uint64_t value, Existing existing);

  // The text stored under `key` read as a signed 32-bit decimal number: leading white space is
  // skipped and reading stops at the first character that cannot continue the number. Returns
  // `defaultValue` when the key is absent, when the text does not start with a number, or when
  // the number does not fit.
  int get_number(const std::string& key, int defaultValue) const;

  // The text stored under `key`; the empty text when the key is absent.
  const std::string& get(const std::string& key) const;
};
