// One child program at a time, driven by the GLib main loop of the calling thread.
//
// The parent writes to the child's standard input; every line of its standard output and of
// its standard error comes back through the callback, and then its exit status. Nothing here
// blocks: the pipes are read when the main loop finds them readable, a bounded number of lines
// per dispatch and below the priority of window drawing and of default idle callbacks, so that
// a child that writes without pause leaves the main loop, its windows, its timers and its idle
// work running.
#pragma once

class Process {
public:
  // Told about the child. The default bodies write the line or the status to the debug log.
  // A line is a NUL-terminated text without its "\n" (and without one "\r" before it), valid
  // only during the call. Exceptions thrown here are caught and logged by the Process.
  class Callback {
  public:
    virtual void on_stdout_line(char* line);
    virtual void on_stderr_line(char* line);
    // Called once when the child has ended by itself, after every line that it wrote has been
    // delivered (standard output first) and after the Process has released the child and its
    // pipes, so the callback may start this Process again. `status` is the child's exit code
    // (an exit code of -1 reads as 255), or the number of the signal that killed it.
    virtual void on_exit(int status);
    virtual ~Callback();
  };

  Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // As stop. Allowed from within a callback.
  ~Process();

  // The object to tell, not owned; null drops the child's lines and its exit.
  void set_callback(Callback* callback);

  // Starts `argv[0]` (a path used as it is, no search along PATH) with the arguments after it
  // up to a null pointer, with pipes for its three standard streams. A child still running is
  // stopped first. Returns false, with a debug-log line, when the program cannot be started.
  // Throws std::runtime_error when a pipe cannot be set up; the child then runs on until the
  // next stop, start or the destructor.
  bool start(char** argv);

  // Writes `text` unchanged to the child's standard input and flushes it. Returns false, with a
  // debug-log line, when writing or flushing fails (the child may have ended). Throws
  // std::runtime_error "Process.cpp(120)" when no child runs.
  bool write(const char* text);

  // Ends the running child, if any, and releases its pipes; output not yet read is discarded.
  // The callback hears nothing more of that child; its end is only logged.
  void stop();

  // Kills the child and nothing else: its exit then reaches on_exit with the status 9. Returns
  // false, with a debug-log line, when there is no child to kill.
  bool terminate();

  // Hands out, for every Process of the program, the lines that its child has already written
  // and that the main loop has not read yet, as the main loop would (standard output before
  // standard error), until no pipe holds any more or `limitMs` milliseconds have passed. A
  // program that is about to end its children calls it first, so that what they reported just
  // before is not lost unread. A pipe whose lines are being handed out already (the call came
  // from a main loop that a callback runs) is left to that.
  static void deliver_written_lines(int limitMs);

  // Children that stop (or the destructor) ended and whose end the main loop has not reaped
  // yet. A program that ends runs its main loop until this is 0, so that none is left behind.
  static int abandoned_children();
  // Runs the default main context until every abandoned child has been reaped, or for at most
  // `limitMs` milliseconds. Returns false when some are left.
  static bool reap_abandoned_children(int limitMs);

  struct Impl;

private:
  Impl* impl;
};
