// Ends the program as its operator's quit would when the system asks it to end (the SIGTERM of
// a shutdown, the SIGHUP of a closed terminal): the wipe history is saved at once, every open
// dialog is answered as if its window were closed (again and again, since an answer may open
// another), and the main window's loop ends with the exit code 128 + the request's number.
// Start-up then ends the tasks with their engines and saves the history once more, as after a
// quit.
#pragma once

#include "GLibOwners.h"
#include "TopUI/TopUI.h"
#include "Win32Process.h"
#include "app/HistoryKeeper.h"

class EndOnRequest {
public:
  // Watches for the requests while it lives. `keeper` may be null (no history is kept).
  EndOnRequest(TopUI& top, HistoryKeeper* keeper);
  EndOnRequest(const EndOnRequest&) = delete;
  EndOnRequest& operator=(const EndOnRequest&) = delete;

  // Whether the system has asked the program to end.
  bool requested() const { return requested_; }

private:
  static void on_request(int request, void* self);
  static gboolean on_tick(gpointer self);

  TopUI& top;
  HistoryKeeper* keeper;
  bool requested_ = false;
  Source closing;
  // Last, so that it goes first.
  platform::EndRequestWatch watch;
};
