#include "Win32Process.h"

#include "Crt.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

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

// A lock is a regular file, made when nothing stands at its name. Whatever else stands there
// (a folder, a link, a pipe) is neither opened nor followed, and is told as such: it may be
// how another program holds the lock. A second hold of one file finds it held.
TEST(ProgramLock, OnlyARegularFileIsHeld) {
  TempDir dir;
  const std::string top = std::filesystem::canonical(dir.path()).string();
  const int folder = open_folder(top.c_str());
  ASSERT_NE(folder, -1);
  std::ofstream(top + "/target") << "target";
  std::ofstream(top + "/earlier.lock") << "";
  std::filesystem::create_directory(top + "/folder.lock");
  std::filesystem::create_symlink(top + "/target", top + "/link.lock");
  std::filesystem::create_symlink(top + "/made by the link", top + "/dangling.lock");
  ASSERT_EQ(mkfifo((top + "/pipe.lock").c_str(), 0600), 0);
  using State = platform::ProgramLock::State;
  const struct {
    const char* name;
    State state;
  } cases[] = {
      {"new.lock", State::Held},        {"earlier.lock", State::Held},
      {"folder.lock", State::NoFile},   {"link.lock", State::NoFile},
      {"dangling.lock", State::NoFile}, {"pipe.lock", State::NoFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const platform::ProgramLock lock(folder, c.name);
    EXPECT_EQ(lock.state(), c.state);
    if (c.state == State::Held) {
      EXPECT_TRUE(std::filesystem::is_regular_file(top + "/" + c.name));
      const platform::ProgramLock second(folder, c.name);
      EXPECT_EQ(second.state(), State::HeldElsewhere);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(top + "/made by the link"));
  std::ifstream target(top + "/target");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), "target");
  // Nobody opened the pipe: a writer finds no reader at its other end.
  EXPECT_EQ(::open((top + "/pipe.lock").c_str(), O_WRONLY | O_NONBLOCK), -1);
  EXPECT_EQ(errno, ENXIO);
  ::close(folder);

  // A folder that cannot be opened holds no lock: only told, as one that takes no file.
  const platform::ProgramLock none(-1, "wipedesk.lock");
  EXPECT_EQ(none.state(), State::Unavailable);
  EXPECT_FALSE(none.reason().empty());
}
