// wipelaunch: opens the desktop program beside it, named after the launcher ("wipedesk Start"
// opens "wipedesk"). Run with administrator rights it opens the program through the shell and
// ends at once. Run without them it asks for them through pkexec and ends when the program
// does; when they cannot be had it says why, on standard error and in a message box, and ends
// with exit code -1. A launcher with another name, or a program that is not there, only ends
// with exit code -1.
#include "Elevation.h"
#include "Notice.h"
#include "OpenSibling.h"
#include "Win32Process.h"

#include <glib.h>

#include <memory>
#include <string>

int main(int argc, char** argv) {
  if (argc <= 0 || argv[0] == nullptr)
    return -1;
  platform::ignore_broken_pipe();
  const std::string launcher = launcher_path(argv[0]);
  if (IsUserAnAdmin())
    return open_sibling_program(launcher.c_str(), launcher_ending, launcher_replacement);

  const std::string sibling =
      sibling_program(launcher.c_str(), launcher_ending, launcher_replacement);
  if (sibling.empty())
    return -1;
  // pkexec runs the program from root's home: its path must not depend on where we are.
  std::unique_ptr<gchar, decltype(&g_free)> program(
      g_canonicalize_filename(sibling.c_str(), nullptr), g_free);
  if (!g_file_test(program.get(), G_FILE_TEST_IS_REGULAR))
    return -1;
  const Elevation elevation = run_with_administrator_rights(program.get());
  if (elevation == Elevation::Ran)
    return 0;
  std::unique_ptr<gchar, decltype(&g_free)> folder(g_path_get_dirname(program.get()), g_free);
  std::unique_ptr<gchar, decltype(&g_free)> name(g_path_get_basename(program.get()), g_free);
  use_catalogues(folder.get());
  tell_operator(elevation_failure_text(elevation, name.get()));
  return -1;
}
