// Which locale names the launcher hands on to the program it starts with administrator rights.
// A locale variable can name a folder ("../../home/op/x" in LANGUAGE, "/tmp/x" in LC_ALL) from
// which the C library and gettext would then load files as root: only the plain form of a name
// passes.
#pragma once

#include <string_view>

// Whether `name` is language[_TERRITORY][.codeset][@modifier]: a language of 1 to 8 ASCII
// letters ("de", "C", "POSIX"), a territory of 2 or 3 ASCII letters or digits ("DE", "419"), a
// codeset and a modifier of 1 to 32 ASCII letters, digits, "-" or "_" ("UTF-8", "euro").
bool is_locale_name(std::string_view name);

// Whether `list` is what LANGUAGE holds: locale names separated by ":", at least one of them;
// empty items between the colons are allowed, as gettext skips them.
bool is_locale_list(std::string_view list);

// Whether the environment variable `variable` holds a locale name or list: LANG, LANGUAGE and
// every LC_*.
bool is_locale_variable(std::string_view variable);

// Whether `value` is well-formed for the locale variable `variable`.
bool is_locale_value(std::string_view variable, std::string_view value);
