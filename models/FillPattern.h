// The one-line text form of a fill pattern, as the operator reads and types it, and the reading
// of a pattern from the first bytes of a file.
//
// The text form is the inside of a quoted text of the configuration format: printable ASCII
// stands for itself, the double quote and the backslash are escaped, and every other byte is an
// escape (\n, \t... or \xNN). The two conversions go through the configuration writer and
// parser, so they agree exactly.
#pragma once

#include <cstdint>
#include <string>

// The text form of `pattern` (any bytes, NUL included); the default pattern, one byte 0x00,
// reads \x00.
std::string pattern_to_text(const std::string& pattern);

// The pattern that `text` writes. Returns the empty pattern when the text is not valid: an
// unknown escape (a lone backslash at the end, \q), \x or \u with too few hex digits, or an
// unescaped double quote, which would end the text early.
std::string text_to_pattern(const char* text);

enum class PatternFileStatus { Read, CannotOpen, CannotRead, NotAFile };

// Reads the first `maxBytes` bytes of the file at `path` (UTF-8), or the whole file when it is
// smaller, into `pattern`. Returns CannotOpen or CannotRead, with a debug-log line and `pattern`
// unchanged, when the file cannot be opened or read, and NotAFile when `path` names a pipe, a
// device, a directory or a socket, which is refused at once, without waiting or reading.
PatternFileStatus read_pattern_file(const std::string& path, std::uint32_t maxBytes,
                                    std::string& pattern);
