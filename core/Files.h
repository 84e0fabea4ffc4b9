// Whole-file reading and writing.
#pragma once

#include <cstddef>
#include <string>

// Reads the whole file `name` (UTF-8) into `text`, every byte included. Returns false and leaves
// `text` unchanged when the file cannot be read, and when `name` is not a regular file (a named
// pipe, a device, a folder, also behind a symbolic link): such a file is refused at once, never
// waited on nor read without end.
bool read_file(const std::string& name, std::string& text);

// What write_file does with a symbolic link at the file's name.
enum class Links {
  Replace, // the link is replaced by a regular file; what it pointed at stays as it was
  Follow,  // the file the links lead to is replaced (created when missing), in its own folder
};

// Replaces the file `name` with the `length` bytes at `data` in one step (a temporary file beside
// it, then a rename), so that a failed write leaves the previous file whole. With Links::Follow a
// symbolic link at `name` is kept and the file it leads to is replaced, keeping that file's
// permissions; a link that leads in a circle or to something other than a regular file fails.
// Returns false when it cannot.
bool write_file(const std::string& name, const void* data, std::size_t length,
                Links links = Links::Replace);

// The file that `name` stands for after its symbolic links (each relative one taken from the
// folder of the link), `name` itself when it is no link. The file need not exist. Empty when
// the links lead in a circle or cannot be read.
std::string file_behind_links(const std::string& name);

// Whether write_file(name, ..., links) can replace the file now: its folder takes a new file,
// and what stands at the name (behind the links, with Links::Follow) is a regular file or
// nothing. Tries it with a temporary file, which it removes. When it cannot, `why` receives the
// system's reason, or that the file is no regular file.
bool file_can_be_replaced(const std::string& name, Links links, std::string& why);

// Hands a file or a web address (UTF-8) to the desktop, as a double click would. Returns true
// when the desktop accepted it.
bool system_open(const std::string& target);
