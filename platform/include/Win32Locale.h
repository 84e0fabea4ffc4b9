// The user's locale name, as GLib reports it on Windows (g_win32_getlocale).
//
// Implements just that one call for this project. Windows names the user locale
// language_TERRITORY ("de_DE"); here it comes from the environment the way the C library
// reads it for messages: LC_ALL, then LC_MESSAGES, then LANG, the first one that is set and not
// empty, with its code set (".UTF-8") and modifier ("@euro") taken off. The C and POSIX locales
// name no language and give the empty text.
#pragma once

#include <string>

namespace platform {

std::string user_locale();

} // namespace platform
