// The runtime library's low-level file calls and thread start, as the rest of the system uses
// them. Implements just enough of the Windows runtime for this project; the calls behave as
// there: -1 (or the error value given) on failure with errno set, no EINTR ever reaching the
// caller.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef O_BINARY
#define O_BINARY 0 // line ends are never translated here
#endif

int _read(int fd, void* buffer, unsigned int count);
int _write(int fd, const void* buffer, unsigned int count);
long long _lseeki64(int fd, long long offset, int origin);
// Flushes what was written through fd to the device. Returns 0, or -1 with errno set.
int _commit(int fd);
int _close(int fd);

// Starts `start(argument)` on a new detached thread. Returns -1 (as uintptr_t) on failure.
std::uintptr_t _beginthread(void (*start)(void*), unsigned int stackSize, void* argument);

// Not a runtime call: whether `path` (UTF-8) names an existing special file (a block or character
// device, a pipe or a socket), also through symbolic links. Regular files, directories and paths
// that do not exist are not special.
bool is_special_file(const char* path);

// Not a runtime call: opens the file `path` (UTF-8) for reading, as _open(path, O_RDONLY |
// O_BINARY) does, but without ever waiting in the open itself (a named pipe without a writer,
// a device that waits for its medium), without the file becoming the program's terminal and
// without children inheriting it. What is no regular file is not opened at all (opening a
// device or a pipe can set something going): its descriptor only names it, for fstat and
// _close. Returns the descriptor, or -1 with errno set.
int open_for_reading(const char* path);

// Not a runtime call: whether the open descriptor `fd` is a regular file (not a directory, a
// device, a pipe or a socket). False, with errno set, when fd cannot be asked.
bool is_regular_descriptor(int fd);

// Files named in a folder opened once. The program runs as root and writes where an ordinary
// user may have a say: a path is walked once, and every later call names its file in the folder
// found, so that nothing put in place of the path, or of a folder on the way, redirects them.

// Whose folders are trusted: the users besides root whom a guarded walk lets change the way.
enum class Trust {
  ProgramsOwn, // the program's own user
  Operator,    // the program's own user and the operator who started it (operator_account)
};

// Not a runtime call: opens the folder `path` (UTF-8) as it is, for the calls below. Returns its
// descriptor, or -1 with errno set.
int open_folder(const char* path);

// Not a runtime call: opens the folder that holds the file `path` (UTF-8; relative to the
// working folder unless absolute) for the calls below. The path is walked from the root one
// name at a time, and each step must be one that no user may change but root and those whom
// `trust` names: the folder that holds it belongs to one of them and nobody else may write it,
// unless it is sticky (as /tmp) and what the step names belongs to one of them. The step to the
// file itself is checked too (the file need not exist). A link on the way is followed where it
// stands so; a link at the file's own name is not. Returns the folder's descriptor, or -1 with
// errno set: EPERM when a step may be changed by another user (`changeable` then receives the
// folder that holds it), ELOOP when links lead in a circle, EISDIR when `path` names no file
// (it ends in "/", "." or ".."), or what the system tells.
int open_guarded_folder(const char* path, Trust trust, std::string& changeable);

// What stands at a name, a link not followed.
enum class Standing { Nothing, RegularFile, Link, Other };

// Not a runtime call: what stands at `name` in `folder` now. Returns 0, or -1 with errno set
// when it cannot be told (a missing file is Nothing).
int standing_at(int folder, const char* name, Standing& standing);

// Not a runtime call: the text of the symbolic link `name` in `folder`. Returns 0, or -1 with
// errno set: EINVAL when `name` is no link, ENOENT when nothing stands there.
int read_link_at(int folder, const char* name, std::string& target);

// Not a runtime call: opens `name` in `folder` for reading, as open_for_reading opens a path; a
// link at the name is not followed, and like what is no regular file it is only located.
int open_at_for_reading(int folder, const char* name);

// Not a runtime call: opens `name` in `folder` for writing from its start, making the file when
// it is missing and emptying it otherwise. Only a regular file is opened: a link at the name
// (ELOOP) and anything else (EINVAL) are left as they are. Returns the descriptor, or -1 with
// errno set.
int open_at_for_writing(int folder, const char* name);

// Whose the file is that replace_file_at makes.
enum class Ownership {
  New,  // the program's, with the permissions of a new file
  Kept, // the permissions, user and group of the regular file it replaces (when there is one)
};

// Not a runtime call: replaces `name` in `folder` with the `length` bytes at `data` in one
// step: a new file beside it, written and flushed, then renamed to the name, so that a failure
// leaves the previous file whole. What stands at the name is replaced, never followed. With
// Ownership::Kept the new file is given the permissions (no set-user or set-group bit: what is
// written here is no program) and, as far as the program may, the user and group of the
// regular file it replaces, through its own descriptor before it takes the name. Returns 0, or
// -1 with errno set.
int replace_file_at(int folder, const char* name, const void* data, std::size_t length,
                    Ownership ownership);

// Not a runtime call: whether `folder` takes a new file beside `name` now: makes one, which it
// removes. Returns 0, or -1 with errno set.
int try_new_file_at(int folder, const char* name);

// Not a runtime call: renames `from` to `to`, both in `folder`; what stands at `from` (a link
// too) is renamed as it is. Nothing may stand at `to` (EEXIST). Returns 0, or -1 with errno set.
int rename_at(int folder, const char* from, const char* to);
