// The sound notifier with a stub player that records each start and then plays on (sleeps)
// until it is ended.
#include "Notifier.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "ProgramConfig.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// A program directory holding a stub "tonlet" that appends "<pid> <argument>" to a record
// and then plays for a minute. Made the configuration's "Program Path" while it lives; the
// debug log's lines about players that were cut short are kept out of the test's output.
class PlayerStub {
public:
  explicit PlayerStub(bool withPlayer = true) {
    if (withPlayer) {
      const std::string player = dir.file("tonlet");
      std::ofstream(player) << "#!/bin/sh\necho \"$$ $1\" >> '" << dir.file("record")
                            << "'\nexec sleep 60\n";
      std::filesystem::permissions(player, std::filesystem::perms::owner_all);
    }
    program_config().set("Program Path", dir.path().string());
  }

  // Each start's pid and sound file, in order.
  std::vector<std::pair<long, std::string>> starts() const {
    std::vector<std::pair<long, std::string>> list;
    std::ifstream record(dir.file("record"));
    long pid;
    std::string sound;
    while (record >> pid >> sound)
      list.emplace_back(pid, sound);
    return list;
  }

  std::map<std::string, int> plays_by_sound() const {
    std::map<std::string, int> count;
    for (const auto& start : starts())
      ++count[start.second];
    return count;
  }

  std::string path(const std::string& name) const { return dir.file(name); }

private:
  LogCapture quiet;
  TempDir dir;
};

// Running: it exists and is not a zombie.
bool running(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text))
    return false;
  const std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

Settings sound_settings(int errorPeriod, int donePeriod) {
  Settings settings;
  settings.set_notifier_error_arg("error.wav");
  settings.set_notifier_error_period(errorPeriod);
  settings.set_notifier_done_arg("done.wav");
  settings.set_notifier_done_period(donePeriod);
  return settings;
}

void settle(int ms) {
  const gint64 end = g_get_monotonic_time() + ms * 1000;
  run_loop([&] { return g_get_monotonic_time() >= end; });
}

} // namespace

// Which kinds play what, once: the sound file is a name in the program directory; kinds that
// are off, have no file, or are no kind at all play nothing.
TEST(Notifier, KindsAndTheirSounds) {
  const struct {
    const char* name;
    Notifier::Kind kind;
    bool errorOn, doneOn;
    const char* errorArg;
    const char* played; // empty for none
  } cases[] = {
      {"error", Notifier::Kind::Error, true, true, "error.wav", "error.wav"},
      {"done", Notifier::Kind::Done, true, true, "error.wav", "done.wav"},
      {"a sound in a folder", Notifier::Kind::Error, true, true, "lib/sounds/e.wav",
       "lib/sounds/e.wav"},
      {"error switched off", Notifier::Kind::Error, false, true, "error.wav", ""},
      {"done switched off", Notifier::Kind::Done, true, false, "error.wav", ""},
      {"no error file", Notifier::Kind::Error, true, true, "", ""},
      {"kind 0", Notifier::Kind::None, true, true, "error.wav", ""},
      {"kind 3", static_cast<Notifier::Kind>(3), true, true, "error.wav", ""},
      {"kind -1", static_cast<Notifier::Kind>(-1), true, true, "error.wav", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlayerStub stub;
    Settings settings = sound_settings(0, 0);
    settings.set_notifier_error_on(c.errorOn);
    settings.set_notifier_done_on(c.doneOn);
    settings.set_notifier_error_arg(c.errorArg);
    Notifier notifier(&settings);
    notifier.notify(c.kind);
    if (*c.played == '\0') {
      settle(50);
      EXPECT_TRUE(stub.starts().empty());
      continue;
    }
    ASSERT_TRUE(run_loop([&] { return !stub.starts().empty(); }, 10 * G_USEC_PER_SEC));
    EXPECT_EQ(stub.starts().front().second, stub.path(c.played));
  }
}

// Repetition: now and every period; each play ends the one before; another kind replaces the
// repetition, kind 0 ends it, and a player that plays on is left alone by it.
TEST(Notifier, RepeatsUntilReplacedOrStopped) {
  PlayerStub stub;
  Settings settings = sound_settings(1, 0);
  Notifier notifier(&settings);
  notifier.notify(Notifier::Kind::Error);
  ASSERT_TRUE(run_loop([&] { return stub.starts().size() >= 3; }, 10 * G_USEC_PER_SEC));
  const auto errorPlays = stub.starts();
  // Each start killed the player before it; the kill takes effect in its own time.
  for (std::size_t i = 0; i + 1 < errorPlays.size(); ++i)
    EXPECT_TRUE(run_loop([&] { return !running(errorPlays[i].first); }, 10 * G_USEC_PER_SEC))
        << "play " << i << " was not cut short";

  notifier.notify(Notifier::Kind::Done); // period 0: once, and the error repetition ends
  ASSERT_TRUE(
      run_loop([&] { return stub.starts().size() == errorPlays.size() + 1; }, 10 * G_USEC_PER_SEC));
  const long donePlayer = stub.starts().back().first;
  EXPECT_EQ(stub.starts().back().second, stub.path("done.wav"));
  settle(1300);
  EXPECT_EQ(stub.starts().size(), errorPlays.size() + 1);

  notifier.notify(Notifier::Kind::None);
  EXPECT_TRUE(running(donePlayer)) << "kind 0 only ends the repetition";
  notifier.stop();
  EXPECT_TRUE(running(donePlayer));
}

// Periods of 0 and below play once; a period whose milliseconds pass 32 bits does not wrap
// into a short one (4294968 s would be 704 ms); destroying the notifier ends its player.
TEST(Notifier, PeriodsThatPlayOnce) {
  PlayerStub stub;
  Settings once = sound_settings(0, -5);
  Settings far = sound_settings(4294968, INT_MAX);
  far.set_notifier_error_arg("far-error.wav");
  far.set_notifier_done_arg("far-done.wav");
  Notifier a(&once), b(&once), c(&far), d(&far);
  a.notify(Notifier::Kind::Error);
  b.notify(Notifier::Kind::Done);
  c.notify(Notifier::Kind::Error);
  d.notify(Notifier::Kind::Done);
  settle(1300);
  const std::map<std::string, int> expected = {{stub.path("error.wav"), 1},
                                               {stub.path("done.wav"), 1},
                                               {stub.path("far-error.wav"), 1},
                                               {stub.path("far-done.wav"), 1}};
  EXPECT_EQ(stub.plays_by_sound(), expected);

  const auto starts = stub.starts();
  {
    Notifier e(&once);
    e.notify(Notifier::Kind::Error);
    ASSERT_TRUE(
        run_loop([&] { return stub.starts().size() == starts.size() + 1; }, 10 * G_USEC_PER_SEC));
  }
  const long player = stub.starts().back().first;
  EXPECT_TRUE(run_loop([&] { return !running(player); }, 10 * G_USEC_PER_SEC));
}

// A player that cannot be started leaves one debug line per attempt, repetitions included.
TEST(Notifier, PlayerMissing) {
  PlayerStub stub(false);
  LogCapture log;
  Settings settings = sound_settings(1, 0);
  Notifier notifier(&settings);
  notifier.notify(Notifier::Kind::Error);
  const std::string line =
      "Notifier.cpp(68): " + stub.path("tonlet") + " " + stub.path("error.wav") + "\n";
  auto count = [&] {
    const std::string text = log.text();
    int n = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count(), 1);
  ASSERT_TRUE(run_loop([&] { return count() == 2; }, 10 * G_USEC_PER_SEC)) << log.text();
  notifier.notify(Notifier::Kind::None);
  settle(1200);
  EXPECT_EQ(count(), 2);
}
