// The system's requests that the program end (the SIGTERM of a shutdown, the SIGHUP of a closed
// terminal), watched from the first step of start-up to the program's last: each is served as
// the operator's quit would be. Every modal window that is open is answered as if it were
// closed (a dialog with its delete response, the splash window with a delete event), again and
// again since an answer may open another, so that the step that waits on it goes on and sees
// that the program is to end; the stage that runs (the main window's, EndOnRequest) does the
// rest.
#pragma once

#include "GLibOwners.h"
#include "Win32Process.h"

class EndRequests {
public:
  // What the program does with a request in the stage that runs.
  class Stage {
  public:
    // The system asked the program to end with `request` (the signal's number); called on
    // the main loop after the open windows have begun to be answered. Must not throw.
    virtual void end_requested(int request) = 0;
    virtual ~Stage() = default;
  };

  // Watches for the requests while it lives.
  EndRequests();
  // The requests end the program at once again.
  ~EndRequests() = default;
  EndRequests(const EndRequests&) = delete;
  EndRequests& operator=(const EndRequests&) = delete;

  // Whether a request came, and the number of the first.
  bool requested() const { return request_ != 0; }
  int request() const { return request_; }
  // The program's exit code after the first request: 128 + its number, as the system gives a
  // program that its request ended.
  int exit_code() const { return 128 + request_; }

  // The stage told of each request from now on (null: none); not owned.
  void set_stage(Stage* stage) { stage_ = stage; }

private:
  static void on_request(int request, void* self);
  static gboolean on_tick(gpointer self);

  Stage* stage_ = nullptr;
  int request_ = 0;
  Source closing;
  // Last, so that it goes first.
  platform::EndRequestWatch watch;
};
