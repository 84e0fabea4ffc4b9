// The thread that draws a random pass's data ahead, seen from outside the engine process: it
// sleeps while the engine pauses, and it is gone once its pass has ended, however the pass ended.
#include "EngineFixture.h"
#include "ProcessCpu.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

std::size_t thread_count(const std::string& pid) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/" + pid + "/task"))
    ++count;
  return count;
}

// Whether the engine is back to `idle` threads within a few seconds: the short-lived thread that
// took the last line's first byte may still be on its way out when the next one starts.
bool back_to(std::size_t idle, const std::string& pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (thread_count(pid) != idle) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A "dod_h" wipe, whose first pass is random, of `sectors` sectors of the emulated device one
// at a time: each transfer takes a second there, which leaves time to look at the process. Each
// sector done is reported, so that the client knows when the filler is under way.
std::string slow_random_wipe(long long sectors) {
  config::Value command = wipe_command(emulator_device({{0, 100}}, "EMU"), 0, sectors, 1);
  command.set("mode", "dod_h");
  command.set("updatePeriod", 1);
  return line_of(command);
}

// Reads lines up to one that holds `text`, answering each message that waits; false when the
// engine ends or stays silent first.
bool receive_until(EngineClient& engine, const std::string& text, std::string& line) {
  while (engine.receive(line, 30)) {
    if (line.find(text) != std::string::npos)
      return true;
    const std::string status = status_of(line);
    if (status == "error" || status == "done")
      engine.send("\"response\":\"ok\"");
  }
  return false;
}

} // namespace

TEST_F(EngineFixture, RandomPassFillerSleepsWhilePausedAndLeavesWithItsPass) {
  start_ready();
  const std::string pid = engine->pid();
  const std::size_t idle = thread_count(pid);
  std::string line;

  // A pass that runs to its end, with a pause in the middle.
  engine->send(slow_random_wipe(3)); // the pause is seen before the third sector at the latest
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":1,", line));
  ASSERT_TRUE(receive_until(*engine, "\"processedSectors\":1,", line));
  engine->send("\"command\":\"pause\"");
  ASSERT_TRUE(receive_until(*engine, "\"status\":\"paused\"", line));
  EXPECT_LT(idle, thread_count(pid)) << "no filler thread beside the engine's own";
  const long long before = cpu_ticks_of(pid);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(cpu_ticks_of(pid) - before, 2) << "a thread kept running while the engine paused";
  engine->send("\"response\":\"ok\"");
  ASSERT_TRUE(receive_until(*engine, "\"status\":\"resumed\"", line));
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":2,", line));
  EXPECT_TRUE(back_to(idle, pid)) << "the filler outlived its pass: " << thread_count(pid);
  engine->send("\"command\":\"interrupt\"");
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":3,", line));
  engine->send("\"command\":\"interrupt\"");
  ASSERT_TRUE(receive_until(*engine, "\"status\":\"ready\"", line));
  EXPECT_TRUE(back_to(idle, pid)) << thread_count(pid);

  // A pass stopped by an interrupt while its filler runs.
  engine->send(slow_random_wipe(50));
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":1,", line));
  ASSERT_TRUE(receive_until(*engine, "\"processedSectors\":1,", line));
  engine->send("\"command\":\"interrupt\"");
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":2,", line));
  EXPECT_TRUE(back_to(idle, pid)) << "the filler outlived its interrupted pass: "
                                  << thread_count(pid);
  engine->send("\"command\":\"interrupt\"");
  ASSERT_TRUE(receive_until(*engine, "\"set_state_index\":3,", line));
  engine->send("\"command\":\"interrupt\"");
  ASSERT_TRUE(receive_until(*engine, "\"status\":\"ready\"", line));
  EXPECT_TRUE(back_to(idle, pid)) << thread_count(pid);

  // The engine ends with its input in the middle of a random pass, filler and all.
  engine->send(slow_random_wipe(50));
  ASSERT_TRUE(receive_until(*engine, "\"processedSectors\":1,", line));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(255, finish());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
