// tonlet: plays the sound file named by its one argument, through whichever player of a Linux
// desktop is there and works: pw-play (PipeWire), then paplay (PulseAudio), then aplay (ALSA).
//
// It ends when the sound has played (exit code 0), or quietly with a code other than 0 when
// it cannot play it: 2 for a wrong command line, 1 when the file is not there or no player
// played it. It writes nothing. Whoever starts it may kill it at any time; the player it runs
// is then killed with it, so that a sound cut short stops at once.
//
// This program stands in for the desktop's outside sound player, so unlike the rest of the
// system above the platform layer it knows it runs on Linux.
#include <glib.h>

#include <csignal>
#include <initializer_list>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Runs in the player's process before it starts: the player dies with this program.
void die_with_parent(gpointer parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // This program may have ended before the line above took effect.
  if (getppid() != static_cast<pid_t>(GPOINTER_TO_INT(parent)))
    _exit(1);
}

bool play_with(const char* player, const char* file) {
  gchar* path = g_find_program_in_path(player);
  if (path == nullptr)
    return false;
  gchar* argv[] = {path, const_cast<gchar*>(file), nullptr};
  gint waitStatus = 0;
  const gboolean ran = g_spawn_sync(
      nullptr, argv, nullptr,
      static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
      die_with_parent, GINT_TO_POINTER(getpid()), nullptr, nullptr, &waitStatus, nullptr);
  g_free(path);
  return ran && g_spawn_check_wait_status(waitStatus, nullptr);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  if (!g_file_test(argv[1], G_FILE_TEST_IS_REGULAR))
    return 1;
  // A player that is installed but has no sound server or device fails: the next one may work.
  for (const char* player : {"pw-play", "paplay", "aplay"})
    if (play_with(player, argv[1]))
      return 0;
  return 1;
}
