#include "Win32Process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>

namespace {

void nothing(int, void*) {}

} // namespace

// A program in its last steps ignores the system's requests to end, also once the watch that
// served them until then has gone: its going gives them no default action to end the program
// with. Each case runs in a child, whose requests are its own.
TEST(EndRequestWatchDeathTest, RequestsIgnoredStayIgnoredWhenTheWatchGoes) {
  for (int request : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(request);
    EXPECT_EXIT(
        {
          {
            platform::EndRequestWatch watch(nothing, nullptr);
            platform::ignore_end_requests();
          }
          raise(request);
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    // Without the call, the watch gives the requests back their default action.
    EXPECT_EXIT(
        {
          { platform::EndRequestWatch watch(nothing, nullptr); }
          raise(request);
          std::exit(0);
        },
        ::testing::KilledBySignal(request), "");
  }
}
