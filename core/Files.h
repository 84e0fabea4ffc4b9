// Whole-file reading and writing.
#pragma once

#include <cstddef>
#include <string>

// Reads the whole file `name` (UTF-8) into `text`, every byte included. Returns false and leaves
// `text` unchanged when the file cannot be read.
bool read_file(const std::string& name, std::string& text);

// Replaces the file `name` with the `length` bytes at `data`. Returns false when it cannot.
bool write_file(const std::string& name, const void* data, std::size_t length);

// Hands a file or a web address (UTF-8) to the desktop, as a double click would. Returns true
// when the desktop accepted it.
bool system_open(const std::string& target);
