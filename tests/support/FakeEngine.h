// A scripted stand-in for the wipe engine cvwdrv, for tests of its clients: the program
// cvw_fake_engine (its path is CVW_FAKE_ENGINE in targets that link cvw_fake_engine_support)
// plays a script on its standard streams, and FakeEngine below writes the script, selects it
// and reads back what the engines received.
//
// Like the engine, the program wants exactly the one argument "command=interactive" (else it
// writes a note to standard error and ends with 2). It finds its script through the variable
// CVW_FAKE_ENGINE_SCRIPT. A script holds one instruction per line; blank lines and lines
// starting with "#" are skipped:
//
//   send TEXT           writes TEXT and a line feed to standard output, at once; a "%t" in
//                       TEXT becomes the monotonic clock in microseconds (the clock of
//                       g_get_monotonic_time), to time what follows in the client
//   expect TEXT         reads one line of standard input; it must be TEXT byte for byte
//   expect              reads one line, whatever it holds
//   stderr TEXT         writes TEXT and a line feed to standard error
//   sleep MS            waits MS milliseconds
//   updates N MS TEXT   sends TEXT N times, "%n" in it replaced by the count 1..N, waiting MS
//                       milliseconds after each; as the engine does while it works, a line
//                       found waiting before a send is read as a pause: "status":"paused" is
//                       sent, one more line is read (any content), "status":"resumed" is sent
//   touch NAME          creates the empty file "<script>.<k>.NAME" (k: see below), so that a
//                       test learns, without running its main loop, how far the engine got
//   exit CODE           ends at once with that exit code (-1 reads as 255)
//   ---                 ends the part of one engine process: the first engine started plays
//                       the script up to the first "---", the second the next part, and so
//                       on; the last part serves every further engine
//
// When its part ends without "exit", the engine reads on until its input ends and then ends
// with 0; a line that arrives meanwhile is unexpected. Any departure from the script (another
// line than expected, an unexpected line, the input ending too early) writes "fake engine:
// script line K: ..." to standard error and ends the engine with exit code 3. The k-th engine
// (from 1) appends its process id to "<script>.pids" and every byte it reads to
// "<script>.<k>.in", so a test sees exactly what was written to each engine.
//
// A wipe, for one:
//
//   send "status":"ready"
//   expect "command":"wipe","device":{...},...
//   send "set_state":"wiping","set_state_index":0,"status":"update"
//   updates 100 5 "lba":%n,"processedSectors":%n,"sectors":1,"status":"update"
//   send "run size":51200,"run time":500,"status":"done"
//   expect "response":"ok"
//   send "status":"ready"
#pragma once

#include "TempDir.h"
#include "TestMachine.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class FakeEngine {
public:
  // Writes `script` into a fresh folder and selects it for the engines started while this
  // object lives.
  explicit FakeEngine(const std::string& script)
      : file(folder.file("engine.script")), selection("CVW_FAKE_ENGINE_SCRIPT", file) {
    std::ofstream(file, std::ios::binary) << script;
  }

#ifdef CVW_FAKE_ENGINE
  // The program's path, the "Driver" of a test's program configuration.
  static std::string program() { return CVW_FAKE_ENGINE; }
#endif

  // The process ids of the engines started so far, in the order of their start.
  std::vector<long> pids() const {
    std::vector<long> ids;
    std::ifstream stream(file + ".pids");
    for (long id; stream >> id;)
      ids.push_back(id);
    return ids;
  }

  // Every byte that the `run`-th engine (from 1) read, line feeds included.
  std::string input(int run = 1) const {
    std::ifstream stream(file + "." + std::to_string(run) + ".in", std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
  }

  // Whether the `run`-th engine (from 1) has played "touch `name`".
  bool touched(const std::string& name, int run = 1) const {
    return std::filesystem::exists(file + "." + std::to_string(run) + "." + name);
  }

  // Every engine started so far has ended and its parent has reaped it: none is left running
  // or as a zombie.
  bool all_ended() const {
    for (long id : pids())
      if (std::filesystem::exists("/proc/" + std::to_string(id)))
        return false;
    return true;
  }

private:
  TempDir folder;
  std::string file;
  ScopedEnvironment selection;
};
