// Child processes and the running program, as the rest of the system uses them on Windows:
// the program's own file, ending a child, reading a child's exit, and channels on the pipes
// that GLib's spawn calls hand out.
//
// Implements just enough of the Windows process calls for this project. On Windows a GLib
// channel on a pipe descriptor is a win32 channel; here it is a Unix one. A child that
// TerminateProcess ends with exit code 9 is killed here by signal 9, which reads as the same
// status through exit_status.
#pragma once

#include "Win32.h"

#include <glib.h>

#include <cstddef>
#include <string>

// The full path of the running program's file, as the system started it (links resolved),
// written to `fileName` with a terminating NUL. Only `module` 0, the program itself, is
// implemented. Returns the length without the NUL; 0 with the last error set on failure; `size`
// with ERROR_INSUFFICIENT_BUFFER (and the text cut) when the buffer is too small.
DWORD GetModuleFileNameA(HINSTANCE module, LPSTR fileName, DWORD size);

namespace platform {

// Ends the child `process` at once, as TerminateProcess(process, 9) does; its exit status reads
// 9 afterwards. Returns false, with the last error set, when there is no such child.
bool terminate_process(GPid process);

// The exit status of a child as the program sees it, from the status that a GLib child watch
// reports: the child's exit code (0 to 255; an exit code of -1 reads as 255), or the number of
// the signal that killed it.
int exit_status(int waitStatus);

// A new GLib channel on the pipe descriptor `fd`, owning nothing yet (see
// g_io_channel_set_close_on_unref).
GIOChannel* io_channel_new_fd(int fd);

// Fills `pollFd` for polling `channel` for `condition` with g_poll.
void io_channel_make_pollfd(GIOChannel* channel, GIOCondition condition, GPollFD* pollFd);

// Makes writing to a pipe whose reader has gone fail with an error instead of ending the
// program. Safe to call more than once.
void ignore_broken_pipe();

// While it lives, the system's requests that the program end (here the signals SIGTERM and
// SIGHUP, as a shutdown or a closed terminal sends them; on Windows the end of the session)
// no longer end it at once: each calls `handler` with `data` and the request's number on the
// default main context, so that the program can end as its operator's quit would. The handler
// must not throw.
class EndRequestWatch {
public:
  using Handler = void (*)(int request, void* data);
  EndRequestWatch(Handler handler, void* data);
  // The requests end the program at once again.
  ~EndRequestWatch();
  EndRequestWatch(const EndRequestWatch&) = delete;
  EndRequestWatch& operator=(const EndRequestWatch&) = delete;

private:
  struct Request {
    EndRequestWatch* watch;
    int number;
    guint source;
  };
  static gboolean on_request(gpointer request);

  Handler handler;
  void* data;
  Request requests[2];
};

// Holds the file `name` in the folder `folder` (see open_folder in Crt.h) for this program alone
// while it lives, so that a second program that asks for the same file learns that one runs
// already. The file is made when nothing stands at the name, and stays; the hold, not the file,
// is what counts, and the system lets it go however the program ends, a crash included.
// Children do not inherit it. A file that the program may only read is held all the same.
// Something other than a regular file at the name (a folder, a link, a pipe) is never opened nor
// followed: the program cannot tell that nobody holds the lock that way.
class ProgramLock {
public:
  enum class State {
    Held,          // this program holds the file
    HeldElsewhere, // another program holds it
    NoFile,        // something other than a regular file stands at the name
    Unavailable,   // the file cannot be made or opened, or the system holds no files: see reason
  };
  ProgramLock(int folder, const std::string& name);
  ~ProgramLock();
  ProgramLock(const ProgramLock&) = delete;
  ProgramLock& operator=(const ProgramLock&) = delete;

  State state() const { return state_; }
  // Why the file is Unavailable: the system's error text.
  const std::string& reason() const { return reason_; }

private:
  int fd = -1;
  State state_ = State::Unavailable;
  std::string reason_;
};

// From now on the system's requests that the program end (SIGTERM, SIGHUP) are ignored, for a
// program that is in its last steps and ends anyway. A watch that lives still goes, and the
// requests stay ignored when it has gone, also one that came while it went.
void ignore_end_requests();

// The bytes that the running program has allocated and not yet freed (the benchmarks watch it
// for memory that keeps growing).
std::size_t heap_in_use();

// The operator for whom the program runs. A program that asked for administrator rights runs
// on Windows as the operator who asked; here pkexec runs it as root and names the user who
// asked in PKEXEC_UID. Files saved for the operator belong in that user's folders, and to that
// user.
struct OperatorAccount {
  std::string home;      // the home folder; "" when it is not known
  unsigned int uid = 0;  // the user
  unsigned int gid = 0;  // the user's group
  bool elevated = false; // the program runs with other rights than the operator's own
};

// The operator: the user of PKEXEC_UID when that is set, else the program's own user (whose
// home is HOME, or the user database's). Users are looked up in the system's user database, or
// in the file of the passwd format that CVW_ACCOUNTS names when that is set (for tests). An
// operator who cannot be looked up has no home; an unusable PKEXEC_UID counts as none.
OperatorAccount operator_account();

// Makes the regular file `path` (UTF-8), just saved, belong to the operator when the program
// runs elevated and the file lies in the operator's home folder (links are not followed, and a
// file with other names elsewhere is left alone). Returns false, with a debug-log line, when
// such a file could not be given; true when it was, or had not to be.
bool give_file_to_operator(const std::string& path);

} // namespace platform
