#include "LogRedirect.h"

#include "DebugLog.h"

#include <gtest/gtest.h>

#include <sstream>

// Each redirection hands the log back to the stream it found, not to standard error: lines
// written between and after nested redirections land in the stream that was current then.
TEST(LogRedirect, NestedRedirectionsEachRestoreTheStreamTheyFound) {
  std::ostringstream outer;
  std::ostringstream inner;
  std::ostream& before = debug_log();
  {
    const LogRedirect toOuter(outer);
    debug_log() << "1\n";
    {
      const LogRedirect silent(LogRedirect::Lines::Discarded);
      debug_log() << "dropped\n";
      {
        const LogRedirect toInner(inner);
        debug_log() << "2\n";
      }
      debug_log() << "dropped too\n";
    }
    debug_log() << "3\n";
  }
  EXPECT_EQ(&before, &debug_log());
  EXPECT_EQ("1\n3\n", outer.str());
  EXPECT_EQ("2\n", inner.str());
}
