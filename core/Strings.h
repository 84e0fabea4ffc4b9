// Cutting texts and listing bytes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// Removes the characters of `set` from both ends of `text` (in place); returns a copy of it.
std::string trim(std::string& text, const char* set);

// Appends the pieces of `text` between separators to `out`, empty pieces included.
void split(const std::string& text, std::vector<std::string>& out, char separator);

// `text` as valid UTF-8: every byte that is not part of a valid UTF-8 sequence, a NUL byte
// included, becomes U+FFFD (the replacement character). Texts from files, drives and the network
// go through it before they reach a widget, which would refuse the whole text otherwise.
std::string valid_utf8(const std::string& text);

// Writes `length` bytes as lines of 16: hex bytes, then the printable characters.
void hex_dump(std::ostream& stream, const void* data, std::uint32_t length);

// The system's text for the calling thread's last error, without its line end; empty when the
// system has none. Call it right after the failing call, on the same thread.
std::string last_error_text();
