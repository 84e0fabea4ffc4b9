// Whole-file reading and writing.
#pragma once

#include <cstddef>
#include <string>

// Reads the whole file `name` (UTF-8) into `text`, every byte included. Returns false and leaves
// `text` unchanged when the file cannot be read, and when `name` is not a regular file (a named
// pipe, a device, a folder, also behind a symbolic link): such a file is refused at once, never
// waited on nor read without end.
bool read_file(const std::string& name, std::string& text);

// Reads what is left of the open file `fd` into `text`, every byte, and closes it. False, with
// `text` unchanged, when it cannot be read or is no regular file (which is never read: a pipe
// or a device could keep the reads waiting, or never end them).
bool read_open_file(int fd, std::string& text);

// Replaces the file `name` with the `length` bytes at `data` in one step (a temporary file beside
// it, then a rename), so that a failed write leaves the previous file whole. The program runs as
// root: the file's folder is found by a guarded walk (GuardedFile::guarded, trusting the
// program's own user and the operator), and a path that another user may change is refused. A
// symbolic link at the name is replaced by the file, never followed. Returns false, with a
// debug-log line, when it cannot.
bool write_file(const std::string& name, const void* data, std::size_t length);

// Makes a new folder, which only the program's own user may enter, in the system's folder for
// temporary files (TMPDIR, else /tmp); `pattern` is its name with "XXXXXX" at the end, which
// becomes unique. The program runs as root: the temporary folder must lie where no other user
// may change the way to it (a guarded walk trusting the program's own user and the operator).
// Returns the new folder's path (UTF-8), or "" with `why` receiving the reason.
std::string make_temporary_folder(const std::string& pattern, std::string& why);

// Hands a file or a web address (UTF-8) to the desktop, as a double click would. Returns true
// when the desktop accepted it.
bool system_open(const std::string& target);
