// Ends the program as its operator's quit would when the system asks it to end while the main
// window runs (the SIGTERM of a shutdown, the SIGHUP of a closed terminal): what the engines
// have already written is read first, so that a wipe they reported done just before is
// recorded; then the wipe history is saved at once and the main window's loop ends with the
// exit code 128 + the request's number (EndRequests answers the open dialogs meanwhile).
// Start-up then ends the tasks with their engines and saves the history once more, as after a
// quit. A request that came before this stage began ends the main window's loop before it runs.
#pragma once

#include "TopUI/TopUI.h"
#include "app/EndRequests.h"
#include "app/HistoryKeeper.h"

class EndOnRequest : public EndRequests::Stage {
public:
  // The stage of `requests` while it lives. `keeper` may be null (no history is kept).
  EndOnRequest(EndRequests& requests, TopUI& top, HistoryKeeper* keeper);
  ~EndOnRequest() override;
  EndOnRequest(const EndOnRequest&) = delete;
  EndOnRequest& operator=(const EndOnRequest&) = delete;

  // Whether the system has asked the program to end.
  bool requested() const { return requests.requested(); }

  void end_requested(int request) override;

  // How long the engines' lines are read before the program ends on a request.
  static constexpr int read_limit_ms = 1000;

private:
  EndRequests& requests;
  TopUI& top;
  HistoryKeeper* keeper;
};
