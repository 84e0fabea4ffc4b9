// The sound player tonlet with stub players on its PATH, and the two sounds of the program
// directory.
#include "TempDir.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string read_text(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

// A folder of stub players, the only folder on tonlet's PATH. A stub appends its name and
// arguments to the record, then does what `body` says.
class Players {
public:
  void add(const std::string& name, const std::string& body) {
    const std::string file = dir.file(name);
    std::ofstream(file) << "#!/bin/sh\necho \"" << name << " $*\" >> '" << record() << "'\n"
                        << body << "\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  }
  std::string record() const { return dir.file("record"); }
  std::string calls() const { return read_text(record()); }
  std::string path() const { return dir.path().string(); }
  std::string file(const std::string& name) const { return dir.file(name); }

private:
  TempDir dir;
};

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

// Runs tonlet with `arguments` and only the players' folder on PATH (sh stays reachable by
// the stubs' full "#!" path).
Outcome run_tonlet(const Players& players, const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(TONLET_PATH)};
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  gchar** environment = g_environ_setenv(g_get_environ(), "PATH", players.path().c_str(), TRUE);
  gchar *out = nullptr, *err = nullptr;
  gint status = 0;
  Outcome run;
  EXPECT_TRUE(g_spawn_sync(nullptr, argv.data(), environment, G_SPAWN_DEFAULT, nullptr, nullptr,
                           &out, &err, &status, nullptr));
  g_strfreev(environment);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
  run.out = out;
  run.err = err;
  g_free(out);
  g_free(err);
  return run;
}

} // namespace

// The first player that plays the file wins; players that fail are passed over; without one
// that plays, or without the file, tonlet ends with a code other than 0 and says nothing.
TEST(Tonlet, PlaysWithTheFirstPlayerThatWorks) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, const char*>> players; // name, body
    bool fileExists;
    int exitCode;
    const char* calls; // "%f" stands for the sound file
  } cases[] = {
      {"PipeWire first",
       {{"pw-play", "exit 0"}, {"paplay", "exit 0"}, {"aplay", "exit 0"}},
       true,
       0,
       "pw-play %f\n"},
      {"PulseAudio when PipeWire fails",
       {{"pw-play", "exit 1"}, {"paplay", "exit 0"}, {"aplay", "exit 0"}},
       true,
       0,
       "pw-play %f\npaplay %f\n"},
      {"ALSA alone", {{"aplay", "exit 0"}}, true, 0, "aplay %f\n"},
      {"all fail",
       {{"pw-play", "exit 1"}, {"paplay", "kill -9 $$"}, {"aplay", "exit 3"}},
       true,
       1,
       "pw-play %f\npaplay %f\naplay %f\n"},
      {"no player", {}, true, 1, ""},
      {"no sound file", {{"aplay", "exit 0"}}, false, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Players players;
    for (const auto& [name, body] : c.players)
      players.add(name, body);
    const std::string sound = players.file("a sound.wav");
    if (c.fileExists)
      std::ofstream(sound) << "RIFF";
    const Outcome run = run_tonlet(players, {sound});
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out + run.err, "");
    std::string calls = c.calls;
    for (std::size_t at = calls.find("%f"); at != std::string::npos; at = calls.find("%f"))
      calls.replace(at, 2, sound);
    EXPECT_EQ(players.calls(), calls);
  }

  Players players;
  players.add("aplay", "exit 0");
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
    const Outcome run = run_tonlet(players, wrong);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out + run.err, "");
  }
  EXPECT_EQ(players.calls(), "");
}

// Killing tonlet, as the notifier does to cut a sound short, kills the player with it.
TEST(Tonlet, ThePlayerEndsWithIt) {
  Players players;
  players.add("pw-play", "echo $$ > '" + players.file("pid") + "'\nexec /bin/sleep 60");
  const std::string sound = players.file("s.wav");
  std::ofstream(sound) << "RIFF";
  gchar** environment = g_environ_setenv(g_get_environ(), "PATH", players.path().c_str(), TRUE);
  const char* argv[] = {TONLET_PATH, sound.c_str(), nullptr};
  GPid tonlet = 0;
  ASSERT_TRUE(g_spawn_async(nullptr, const_cast<gchar**>(argv), environment,
                            G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &tonlet, nullptr));
  g_strfreev(environment);
  long player = 0;
  for (int i = 0; i < 1000 && player == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::istringstream(read_text(players.file("pid"))) >> player;
  }
  ASSERT_NE(player, 0);
  kill(tonlet, SIGKILL);
  g_spawn_close_pid(tonlet);
  int status = 0;
  waitpid(tonlet, &status, 0);
  // Gone, or a zombie waiting for a parent that reaps orphans.
  auto running = [&] {
    const std::string stat = read_text("/proc/" + std::to_string(player) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
  };
  for (int i = 0; i < 500 && running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(running());
}

// The two sounds of the program directory: PCM WAV files, mono, 16 bits, a second or less.
TEST(Tonlet, SoundsOfTheProgramDirectory) {
  for (const char* name : {"error.wav", "done.wav"}) {
    SCOPED_TRACE(name);
    const std::string bytes = read_text(std::string(CVW_PROGRAM_DIR) + "/lib/sounds/" + name);
    ASSERT_GT(bytes.size(), 44u);
    auto u32 = [&](std::size_t at) {
      std::uint32_t value = 0;
      for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
      return value;
    };
    auto u16 = [&](std::size_t at) {
      return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                        static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u16(20), 1u); // PCM
    EXPECT_EQ(u16(22), 1u); // mono
    EXPECT_EQ(u16(34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(u32(40), bytes.size() - 44);
    const double seconds = (bytes.size() - 44) / 2.0 / u32(24);
    EXPECT_GT(seconds, 0.3);
    EXPECT_LE(seconds, 1.5);
    // Not silence, and not clipped.
    int peak = 0;
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
      peak = std::max(peak, std::abs(static_cast<int>(static_cast<std::int16_t>(u16(at)))));
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767);
  }
}
