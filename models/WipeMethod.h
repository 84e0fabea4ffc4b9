// The catalogue of the eleven wipe methods: each method's index (what the options store), its
// key (what the engine's "wipe" command and the settings file carry), its display name and
// description, and the three facts the options editor checks the pattern and the verification
// choice against. The passes themselves are the engine's business.
#pragma once

#include <string>

class WipeMethod {
public:
  // Position in the catalogue, 0 to 10.
  virtual int index() const = 0;
  // The fixed, untranslated key, such as "dod_c".
  virtual const char* key() const = 0;
  // The display name, translated on every call.
  virtual const char* name() const = 0;
  // The passes, with Pango markup, translated on every call.
  virtual const char* description() const = 0;
  // The method writes the fill pattern, so it needs a non-empty one.
  virtual bool uses_pattern() const { return true; }
  // The method takes only the pattern's first byte, so the pattern must be one byte long.
  virtual bool first_character_only() const { return false; }
  // The method's last pass writes and verifies by itself.
  virtual bool last_pass_verified() const { return false; }
  // The method writes from the last sector of the area to the first.
  virtual bool from_the_end() const { return false; }
  virtual ~WipeMethod() = default;

  // The method at `index`. Throws std::runtime_error "WipeMethod.cpp(314)", after a debug-log
  // line with the index, for an index outside 0 to 10.
  static const WipeMethod& by_index(int index);
  // The method whose key equals `key` exactly (case and blanks count). Throws
  // std::runtime_error "WipeMethod.cpp(332)", after a debug-log line with the key, when none
  // does.
  static const WipeMethod& by_key(const char* key);

  // The number of methods in the catalogue.
  static constexpr int count = 11;

protected:
  constexpr WipeMethod() = default;
};

// Shortcuts over the lookups; they fail as the lookup they use.
const char* wipe_method_key(int index);
int wipe_method_index(const std::string& key);
// The translated display name.
const char* wipe_method_name(int index);
