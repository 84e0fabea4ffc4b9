// The runtime library's low-level file calls and thread start, as the rest of the system uses
// them. Implements just enough of the Windows runtime for this project; the calls behave as
// there: -1 (or the error value given) on failure with errno set, no EINTR ever reaching the
// caller.
#pragma once

#include <fcntl.h>

#include <cstdint>

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

// Not a runtime call: gives the regular file `path` (UTF-8) the permissions `mode` (& 07777)
// and, where they differ, the owner `user` and the group `group` of a file it replaced. Only the
// file itself, and only one of its own: a link that stands at `path` is not followed (ELOOP), a
// file with other names too or no regular file is left alone (EINVAL), so that nobody who can
// write the folder turns the change onto another file. Returns 0, or -1 with errno set.
int keep_file_attributes(const char* path, unsigned mode, std::uint32_t user, std::uint32_t group);

// Not a runtime call: whether the open descriptor `fd` is a regular file (not a directory, a
// device, a pipe or a socket). False, with errno set, when fd cannot be asked.
bool is_regular_descriptor(int fd);
