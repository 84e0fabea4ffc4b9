// cvwdrv, the wipe engine: a program without a window that speaks a line protocol on its
// standard input and output.
#include "CommandLoop.h"
#include "random/Random.h"

#include "DebugLog.h"
#include "StreambufNull.h"

#include <csignal>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

void print_usage(const char* program) {
  std::cerr << "Usage: " << program << "\n  [command=interactive]\n  [dbg=(stderr|FILE)]\n";
}

// The debug log sink that a "dbg=" argument names; standard error when there is none.
std::ostream& debug_sink(bool given, const std::string& name) {
  if (!given || name == "stderr")
    return std::cerr;
  if (name == "null") {
    static StreambufNull<> discard;
    static std::ostream stream(&discard);
    return stream;
  }
  if (name == "ostringstream") {
    static std::ostringstream memory;
    return memory;
  }
  static std::ofstream file;
  file.open(name, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.good())
    return std::cerr;
  // Each line reaches the file at once: the client ends the engine by terminating it.
  file << std::unitbuf;
  return file;
}

} // namespace

int main(int argc, char** argv) {
  // A client that has gone away makes the next reply fail, which ends the engine in order.
  std::signal(SIGPIPE, SIG_IGN);
  bool haveCommand = false;
  std::string command;
  bool haveSink = false;
  std::string sink;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "command=", 8) == 0) {
      haveCommand = true;
      command = argv[i] + 8;
    } else if (std::strncmp(argv[i], "dbg=", 4) == 0) {
      haveSink = true;
      sink = argv[i] + 4;
    } else {
      print_usage(argv[0]);
      return -1;
    }
  }
  set_debug_log(debug_sink(haveSink, sink));
  debug_log() << "main.cpp(31): "
              << "*** cvwdrv v0.01 ***"
              << "\n";
  try {
    seed_random();
    if (haveCommand && command == "interactive") {
      interactive();
    } else {
      print_usage(argv[0]);
      return -1;
    }
  } catch (const std::exception& e) {
    debug_log() << "main.cpp(44): "
                << "exception: " << e.what() << "\n";
  } catch (...) {
    debug_log() << "main.cpp(47): "
                << "exception"
                << "\n";
  }
  return -1;
}
