// wipelaunch: opens the desktop program beside it and ends. It shows nothing; a launcher with
// another name, or a program that cannot be opened, only ends with exit code -1.
#include "OpenSibling.h"
#include "Win32Process.h"

int main(int argc, char** argv) {
  if (argc <= 0 || argv[0] == nullptr)
    return -1;
  platform::ignore_broken_pipe();
  return open_sibling_program(launcher_path(argv[0]).c_str(), launcher_ending,
                              launcher_replacement);
}
