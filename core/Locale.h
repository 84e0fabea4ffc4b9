// The folder from which localised data files (translation catalogues, pictures, the manual) are
// taken: one subfolder per locale inside one directory, "en" being the fallback.
#pragma once

#include <string>

class Locale {
public:
  // The process-wide instance; its fields are empty until init.
  static Locale& instance();

  // Remembers `directory` and chooses the locale folder in it from the user's locale
  // (language_TERRITORY): that folder when it exists, else the language alone when its folder
  // exists, else "en". Each step down is logged; it never fails.
  void init(const std::string& directory);

  // directory/locale/file when that file is there; else, with a debug-log line,
  // directory/en/file, not tested.
  std::string path(const std::string& file) const;

  const std::string& directory() const { return directory_; }
  // The chosen locale folder's name.
  const std::string& name() const { return name_; }

private:
  Locale() = default;

  std::string name_;
  std::string directory_;
};
