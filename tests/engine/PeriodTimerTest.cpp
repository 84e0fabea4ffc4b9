#include "PeriodTimer.h"

#include <gtest/gtest.h>

namespace {

TEST(PeriodTimer, FiresOncePerPeriodFromTheLastFiring) {
  PeriodTimer timer;
  timer.start_at(300, 1000);
  EXPECT_FALSE(timer.period_elapsed_at(1299));
  EXPECT_TRUE(timer.period_elapsed_at(1300));
  EXPECT_FALSE(timer.period_elapsed_at(1599)); // the period counts from the firing
  EXPECT_TRUE(timer.period_elapsed_at(1650));
  EXPECT_FALSE(timer.period_elapsed_at(1949));
  EXPECT_TRUE(timer.period_elapsed_at(1950));
}

TEST(PeriodTimer, PeriodZeroNeverFires) {
  PeriodTimer timer;
  timer.start(0);
  EXPECT_FALSE(timer.period_elapsed());
  EXPECT_FALSE(timer.period_elapsed_at(1LL << 60));
  EXPECT_GE(timer.elapsed(), 0);
}

} // namespace
