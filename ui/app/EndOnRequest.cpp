#include "app/EndOnRequest.h"

#include "DebugLog.h"
#include "Process.h"

#include <ostream>

EndOnRequest::EndOnRequest(EndRequests& requests, TopUI& top, HistoryKeeper* keeper)
    : requests(requests), top(top), keeper(keeper) {
  requests.set_stage(this);
  if (requests.requested())
    top.end(requests.exit_code());
}

EndOnRequest::~EndOnRequest() { requests.set_stage(nullptr); }

void EndOnRequest::end_requested(int request) {
  debug_log() << "EndOnRequest.cpp(46): " << request << "\n";
  // The signal is served before the engines' pipes: a "done" may wait there unread, and the
  // engines are ended next.
  Process::deliver_written_lines(read_limit_ms);
  if (keeper != nullptr)
    keeper->save_now();
  top.end(requests.exit_code());
}
