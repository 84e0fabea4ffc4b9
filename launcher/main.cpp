// wipelaunch: opens the desktop program beside it, named after the launcher ("wipedesk Start"
// opens "wipedesk", and so does "wipelaunch"). Run with administrator rights it opens the
// program through the shell and ends at once. Run without them it asks for them through pkexec
// and ends when the program does. When the program cannot be opened it says why, on standard
// error and in a message box, and ends with exit code -1. Its debug log is standard error.
#include "Launch.h"
#include "Win32Process.h"

#include <glib.h>

int main(int argc, char** argv) {
  platform::ignore_broken_pipe();
  gchar** environment = g_get_environ();
  const int code = launch(argc, argv, environment);
  g_strfreev(environment);
  return code;
}
