// Opening a file in two steps: first only located (O_PATH), so that what it is can be asked
// before anything is set going, then opened anew as the very file located.
#pragma once

#include <sys/types.h>

namespace platform {

// openat, tried again when a signal interrupts it.
int open_retried(int folder, const char* name, int flags, mode_t mode = 0);

// Opens with `flags` the file that `located` (an O_PATH descriptor of a regular file) names,
// whatever its name leads to by now. Where the system offers no way to reopen a descriptor,
// `name` in `folder` is opened with `flags` (O_NOFOLLOW among them where the locating had it)
// and must be the same file (else ENOENT).
// Returns the new descriptor, or -1 with errno set; `located` stays open.
int reopen_located(int located, int flags, int folder, const char* name);

} // namespace platform
