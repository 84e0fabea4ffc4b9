#include "Log.h"
#include "LocalTime.h"
#include "WipeRecord.h"

#include "FixedClockText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <regex>

namespace {

class LogTest : public ::testing::Test {
protected:
  void SetUp() override { use_fixed_zone_and_locale(); }
};

// Records every piece with the log's text at that moment.
class Recorder : public Log::Callback {
public:
  explicit Recorder(const Log& log) : log(log) {}
  void appended(const std::string& piece) override {
    pieces.push_back(piece);
    texts.push_back(log.text());
  }
  const Log& log;
  std::vector<std::string> pieces;
  std::vector<std::string> texts;
};

// "HH:MM:SS  ", the prefix of the C locale.
const std::string time_prefix = "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]  ";

} // namespace

TEST_F(LogTest, EntriesAreTimedAndContinuationLinesLineUp) {
  Log log;
  Recorder recorder(log);
  log.set_callback(&recorder);

  log.add("first");
  log.add("two\nlines");
  log.add("");
  log.add("ends with a line feed\n");

  // The C locale's time is 8 characters, so continuation lines are indented by 10.
  const std::regex expected(time_prefix + "first\n" + time_prefix + "two\n {10}lines\n" +
                            time_prefix + "\n" + time_prefix + "ends with a line feed\n {10}");
  EXPECT_TRUE(std::regex_match(log.text(), expected)) << log.text();

  ASSERT_EQ(recorder.pieces.size(), 4u);
  std::string joined;
  for (std::size_t i = 0; i < recorder.pieces.size(); ++i) {
    // Each piece once, after the text holds it; every piece but the first starts a new line.
    joined += recorder.pieces[i];
    EXPECT_EQ(recorder.texts[i], joined);
    EXPECT_EQ(recorder.pieces[i][0] == '\n', i > 0) << i;
  }
  EXPECT_EQ(joined, log.text());

  log.set_callback(nullptr);
  log.add("unobserved");
  EXPECT_EQ(recorder.pieces.size(), 4u);
}

TEST(WipeRecord, StartAndFinish) {
  WipeRecord record;
  EXPECT_FALSE(record.finished());
  EXPECT_EQ(record.start_time(), 0);
  EXPECT_EQ(record.finish_time(), 0);
  EXPECT_EQ(record.drive().sector_size(), 512u);
  EXPECT_EQ(record.options().sectors_per_time(), 256u);

  const std::int64_t before = current_time();
  record.start(2048, 1000000);
  EXPECT_FALSE(record.finished());
  EXPECT_EQ(record.lba(), 2048u);
  EXPECT_EQ(record.sectors(), 1000000u);
  EXPECT_GE(record.start_time(), before);
  EXPECT_EQ(record.finish_time(), 0);

  record.finish();
  EXPECT_TRUE(record.finished());
  EXPECT_GE(record.finish_time(), record.start_time());
  EXPECT_LE(record.finish_time(), current_time());

  // A new wipe clears the mark and keeps the old finish time.
  const std::int64_t finished = record.finish_time();
  record.start(0, 1);
  EXPECT_FALSE(record.finished());
  EXPECT_EQ(record.finish_time(), finished);

  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive3");
  drive.set_model("Disk");
  Partition partition;
  partition.set_name("E:");
  drive.set_partitions({partition});
  WipeOptions options;
  options.set_mode(10);
  record.set_drive(drive);
  record.set_options(options);
  EXPECT_EQ(record.drive().id(), "\\\\.\\PhysicalDrive3");
  ASSERT_EQ(record.drive().partitions().size(), 1u);
  EXPECT_EQ(record.drive().partitions()[0].name(), "E:");
  EXPECT_EQ(record.options().mode(), 10);
}

TEST_F(LogTest, LocalTimeTextsFallBackToTheNumber) {
  struct Case {
    std::int64_t time;
    const char* format;
    const char* expected;
  };
  const std::string long_format(300, 'x');
  // clang-format off
  const Case cases[] = {
      {0,                      "%x %X", "01/01/70 01:00:00"},
      {-1,                     "%x %X", "01/01/70 00:59:59"},
      // Past the 32-bit end of time: still 2038, not 1901.
      {2147483648LL,           "%x %X", "01/19/38 04:14:08"},
      {4102444800LL,           "%Y-%m-%d %H:%M", "2100-01-01 01:00"},
      // A year the calendar cannot hold, an empty result and a result too long for the buffer.
      {std::numeric_limits<std::int64_t>::max(), "%x %X", "9223372036854775807"},
      {std::numeric_limits<std::int64_t>::min(), "%x %X", "-9223372036854775808"},
      {1234,                   "",      "1234"},
      {1234,                   long_format.c_str(), "1234"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    EXPECT_EQ(format_local_time_or_number(c.time, c.format), c.expected);
  }
  EXPECT_EQ(format_local_time(1234, ""), "");
}
