// The threads that draw a random pass's data ahead. Seen from outside the engine process: they
// sleep while the engine pauses, and they are gone once their pass has ended, however the pass
// ended. In this process: the data they hand over is the generator's stream, chunk by chunk.
#include "EngineFixture.h"
#include "ProcessCpu.h"

#include "BufferRing.h"
#include "random/Random.h"
#include "random/RandomFiller.h"

#include <chrono>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// The filler itself, in this process: whatever lengths the caller asks for, in whatever order,
// the chunks are the process generator's stream, and a chunk stays as it was handed out for as
// long as the caller holds it. Changing lengths make the caller draw in place while fillers are
// still drawing ahead, which is where two writers of one buffer would show as wrong bytes.
namespace {

// Where two byte ranges first differ, for a readable failure; empty when they are equal.
std::string difference(const unsigned char* actual, const std::vector<unsigned char>& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (actual[i] != expected[i])
      return "byte " + std::to_string(i) + " of " + std::to_string(expected.size());
  return "";
}

struct FillerCase {
  const char* name;
  std::uint64_t bytes; // the ring's buffer size
  std::size_t keep;    // chunks the caller holds at once
  std::size_t ahead;   // chunks drawn ahead
  std::uint64_t seed;  // 0: every chunk the buffer's size, and a short last one per pass
  int changeEvery;     // with a seed: a new length drawn about once in this many chunks
  int chunks;
};

class RandomFillerStream : public ::testing::TestWithParam<FillerCase> {};

TEST_P(RandomFillerStream, IsTheGeneratorsStreamAndKeepsWhatTheCallerHolds) {
  const FillerCase& c = GetParam();
  set_random_state(initial_random_state);
  RandomState reference = initial_random_state;
  BufferRing ring(c.bytes, c.keep + c.ahead);
  std::mt19937_64 pick(c.seed);
  std::deque<std::pair<const unsigned char*, std::vector<unsigned char>>> held;
  {
    RandomFiller filler(ring, c.keep);
    std::uint64_t length = c.bytes;
    for (int i = 0; i < c.chunks; ++i) {
      if (c.seed == 0)
        length = i % 50 == 49 ? c.bytes / 3 + 1 : c.bytes; // passes of 50 chunks
      else if (pick() % c.changeEvery == 0)
        length = 1 + pick() % c.bytes;
      std::vector<unsigned char> expected(length);
      fill_random_from(reference, expected.data(), length);
      const unsigned char* chunk = filler.next(length);
      ASSERT_EQ("", difference(chunk, expected)) << "chunk " << i;
      ASSERT_EQ(reference, random_state()) << "after chunk " << i;
      held.emplace_back(chunk, std::move(expected));
      if (held.size() > c.keep)
        held.pop_front();
      for (std::size_t k = 0; k < held.size(); ++k)
        ASSERT_EQ("", difference(held[k].first, held[k].second))
            << "chunk " << i - static_cast<int>(held.size() - 1 - k) << ", held while chunk " << i
            << " was drawn";
    }
  }
  EXPECT_EQ(reference, random_state());
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, RandomFillerStream,
    ::testing::Values(
        // A pass of equal chunks and a short last one, again and again: drawn ahead, then in place.
        FillerCase{"EqualChunksAndShortLast", 65536, 4, 8, 0, 0, 400},
        // As a wipe sizes the ring for chunks of 256 sectors, with 32 of them in flight.
        FillerCase{"WipeRingOf128k", 131072, 32, 32, 0, 0, 200},
        // Lengths that change now and then, short and long, so that fillers are still drawing
        // when the caller draws in place and starts them over.
        FillerCase{"LengthsChangingNowAndThen", 40000, 3, 6, 7, 5, 1500},
        FillerCase{"LengthsChangingOften", 20000, 1, 3, 11, 2, 1500},
        // Every chunk drawn in place: nothing is drawn ahead.
        FillerCase{"NothingAhead", 30000, 2, 0, 13, 3, 300}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
