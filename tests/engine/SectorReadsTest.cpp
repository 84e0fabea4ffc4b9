// Sector reads and the blink exercise through the real engine, on image files.
#include "EngineFixture.h"

#include "Blink.h"

#include <chrono>

namespace {

const std::string ready = "\"status\":\"ready\"";
const std::string ok = "\"response\":\"ok\"";
const std::string initFailed = "\"message\":\"init failed\",\"status\":\"error\"";
const std::string invalid = "\"message\":\"invalid command\",\"status\":\"error\"";

std::string read_command(long long lba, long long sectors) {
  return "\"command\":\"read sectors\",\"lba\":" + std::to_string(lba) +
         ",\"sectors\":" + std::to_string(sectors);
}

std::string read_failed(long long lba, long long sectors) {
  return "\"lba\":" + std::to_string(lba) +
         ",\"message\":\"read failed\",\"sectors\":" + std::to_string(sectors) +
         ",\"status\":\"error\"";
}

std::string burst(unsigned long long lba, unsigned long long sectors) {
  return "\"lba\":" + std::to_string(lba) + ",\"sectors\":" + std::to_string(sectors) +
         ",\"status\":\"update\"";
}

config::Value blink_command(const config::Value& device, long long sectors, long long perTime,
                            long long period) {
  config::Value command(config::Value::Object);
  command.set("command", "blink");
  command["device"] = device;
  command.set("sectors", sectors);
  command.set("sectorsPerTime", perTime);
  command.set("period", period);
  return command;
}

class SectorReads : public EngineFixture {
protected:
  // Starts the engine and opens the read loop on `image` with a first read.
  void open_loop(const std::string& image, long long sectorSize, const std::string& first) {
    start_ready();
    config::Value command(config::Value::Object);
    ASSERT_TRUE(command.parse(first.c_str()));
    command["device"] = file_device(image, sectorSize);
    engine->send(line_of(command));
  }
  // The next reply, acknowledged when the engine waits after it.
  std::string reply() {
    std::string line;
    if (!engine->receive(line))
      return "(no reply)";
    const std::string status = status_of(line);
    if (status == "error" || status == "done")
      engine->send(ok);
    return line;
  }
};

// One device, opened once, serves one read after another: the buffer grows and is reused, reads
// past the end fail with the range asked for, and sizes that cannot be served fail instead of
// wrapping.
TEST_F(SectorReads, ServeReadAfterReadOnOneDevice) {
  const std::string image = dir.file("disk.img");
  const std::string bytes = make_image(image, 16, 512);
  const struct {
    long long lba, sectors;
    bool done;
  } reads[] = {
      {0, 1, true},          {2, 8, true}, // grows the buffer
      {3, 1, true}, // a smaller read after it still answers with its own sectors
      {15, 1, true},         {0, 0, true}, {14, 4, false}, // passes the end of the device
      {16, 1, false},                                      // starts at its end
      {0, 1LL << 23, false},                               // 4 GiB: more than one read can take
      {0, 1LL << 55, false},                               // its bytes do not fit in 64 bits
      {-1, 2, false},                                      // the sector numbers wrap
      {1LL << 54, 1, false},                               // byte offsets past 64 bits
  };
  open_loop(image, 512, read_command(reads[0].lba, reads[0].sectors));
  for (std::size_t i = 0; i < std::size(reads); ++i) {
    const auto& r = reads[i];
    const std::string line = reply();
    config::Value message(config::Value::Object);
    ASSERT_TRUE(message.parse(line.c_str())) << line;
    if (r.done) {
      EXPECT_EQ("done", message.get_string("status")) << line;
      EXPECT_EQ(r.lba, message.get_number("lba"));
      EXPECT_EQ(r.sectors, message.get_number("sectors"));
      EXPECT_EQ("", first_difference(message.get_string("data"),
                                     bytes.substr(r.lba * 512, r.sectors * 512), 512))
          << r.lba << " " << r.sectors;
    } else {
      EXPECT_EQ(read_failed(r.lba, r.sectors), line);
    }
    EXPECT_EQ(ready, reply());
    if (i + 1 < std::size(reads))
      engine->send(read_command(reads[i + 1].lba, reads[i + 1].sectors));
  }
  // Another command inside the loop is refused; the device stays open for the next read.
  engine->send(line_of(blink_command(file_device(image), 1, 1, 0)));
  EXPECT_EQ(invalid, reply());
  EXPECT_EQ(ready, reply());
  engine->send(read_command(5, 1));
  EXPECT_EQ("done", status_of(reply()));
  EXPECT_EQ(ready, reply());
  // An "interrupt" is no read: it ends the engine.
  engine->send("\"command\":\"interrupt\"");
  EXPECT_EQ(255, engine->wait());
  const std::string log = log_text();
  EXPECT_EQ("main.cpp(44): exception: std::exception\n", log.substr(log.rfind("main.cpp(44)")));
  EXPECT_NE(std::string::npos,
            log.find("ReadSectors.cpp(55): 8388608 sectors from 0 are more than one read can "
                     "take\n"));
}

TEST_F(SectorReads, LargeSectorsComeWhole) {
  const std::string image = dir.file("disk.img");
  const std::string bytes = make_image(image, 4, 4096);
  open_loop(image, 4096, read_command(1, 2));
  config::Value message(config::Value::Object);
  ASSERT_TRUE(message.parse(reply().c_str()));
  EXPECT_EQ("", first_difference(message.get_string("data"), bytes.substr(4096, 8192), 4096));
  EXPECT_EQ(ready, reply());
  EXPECT_EQ(255, finish());
}

TEST_F(SectorReads, DeviceThatCannotBeOpenedEndsTheCommand) {
  for (const char* command : {"read sectors", "blink"}) {
    start_ready();
    config::Value c = blink_command(file_device(dir.file("none/disk.img")), 8, 8, 0);
    c.set("command", command);
    c.set("lba", 0);
    EXPECT_EQ((std::vector<std::string>{initFailed, ready}), converse(*engine, line_of(c)).replies)
        << command;
    EXPECT_EQ(255, finish());
  }
}

class Blinks : public EngineFixture {
protected:
  // The first `count` lines of a blink, each error acknowledged; then the engine is ended by an
  // "interrupt", and what it wrote meanwhile is drained.
  std::vector<std::string> blink_lines(const config::Value& command, std::size_t count) {
    start_ready();
    engine->send(line_of(command));
    std::vector<std::string> lines;
    std::string line;
    while (lines.size() < count && engine->receive(line)) {
      lines.push_back(line);
      if (status_of(line) == "error")
        engine->send(ok);
    }
    engine->send("\"command\":\"interrupt\"");
    while (engine->receive(line)) {
      if (status_of(line) == "error")
        engine->send(ok);
    }
    EXPECT_EQ(255, engine->wait());
    const std::string log = log_text();
    EXPECT_NE(std::string::npos, log.find("main.cpp(44): exception: std::exception\n")) << log;
    return lines;
  }
};

TEST_F(Blinks, SweepTheSpanInBurstsAndStartAgain) {
  const std::string image = dir.file("disk.img");
  make_image(image, 1000, 512);
  EXPECT_EQ((std::vector<std::string>{burst(0, 256), burst(256, 256), burst(512, 256),
                                      burst(768, 232), burst(0, 256), burst(256, 256)}),
            blink_lines(blink_command(file_device(image), 1000, 256, 0), 6));
}

// A span past the end of the device: the burst that cannot be read whole fails with the range
// asked for, and the blink goes on.
TEST_F(Blinks, BurstPastTheEndFailsAndTheBlinkGoesOn) {
  const std::string image = dir.file("disk.img");
  make_image(image, 10, 512);
  EXPECT_EQ((std::vector<std::string>{burst(0, 8), read_failed(8, 4), burst(8, 4), burst(0, 8),
                                      read_failed(8, 4), burst(8, 4)}),
            blink_lines(blink_command(file_device(image), 12, 8, 0), 6));
}

TEST_F(Blinks, LineDuringABlinkPausesIt) {
  const std::string image = dir.file("disk.img");
  make_image(image, 4, 512);
  start_ready();
  engine->send(line_of(blink_command(file_device(image), 4, 1, 0)));
  engine->send("\"command\":\"pause\"");
  std::string line;
  while (engine->receive(line) && status_of(line) != "paused")
    EXPECT_EQ("update", status_of(line)) << line;
  ASSERT_EQ("paused", status_of(line));
  engine->send(ok);
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ("\"status\":\"resumed\"", line);
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ("update", status_of(line)) << line;
  engine->close_input();
  while (engine->receive(line)) {
  }
  EXPECT_EQ(255, engine->wait());
}

// Every burst is followed by the pause: the n-th burst cannot come before (n - 1) pauses have
// passed since the command was sent. (Only this lower bound is checked; a slow machine takes
// longer.)
TEST_F(Blinks, PauseFollowsEachBurst) {
  const std::string image = dir.file("disk.img");
  make_image(image, 8, 512);
  start_ready();
  const auto sent = std::chrono::steady_clock::now();
  engine->send(line_of(blink_command(file_device(image), 8, 2, 300)));
  std::string line;
  for (int n = 1; n <= 4; ++n) {
    ASSERT_TRUE(engine->receive(line));
    EXPECT_EQ("update", status_of(line));
  }
  EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(900));
  engine->close_input();
  EXPECT_EQ(255, engine->wait());
}

TEST(Blink, PauseIsThePeriodBelowOneSecond) {
  const struct {
    long long period;
    std::uint32_t ms;
  } cases[] = {{0, 0},
               {1, 1},
               {300, 300},
               {999, 999},
               {1000, 0},
               {60000, 0},
               {-1, 0},
               // period x 1000 is taken in 32 bits, as unsigned microseconds
               {4295967, 999}};
  for (const auto& c : cases)
    EXPECT_EQ(c.ms, blink_pause_ms(c.period)) << c.period;
}

// A blink that would read nothing, or whose burst no transfer can hold, is refused instead of
// spinning or overflowing its buffer.
TEST_F(Blinks, EmptyOrOversizedBlinksAreRefused) {
  const std::string image = dir.file("disk.img");
  make_image(image, 8, 512);
  const struct {
    long long sectors, perTime;
  } cases[] = {{0, 8}, {8, 0}, {-8, 8}, {8, -1}, {8, 1LL << 23}, {8, 1LL << 56}, {1LL << 55, 8}};
  start_ready();
  for (const auto& c : cases) {
    const Exchange exchange =
        converse(*engine, line_of(blink_command(file_device(image), c.sectors, c.perTime, 0)));
    EXPECT_EQ((std::vector<std::string>{initFailed, ready}), exchange.replies)
        << c.sectors << " " << c.perTime;
  }
  EXPECT_EQ(255, finish());
  EXPECT_NE(std::string::npos,
            log_text().find("Blink.cpp(52): a blink of 0 sectors in bursts of 8 cannot be read\n"));
}

} // namespace
