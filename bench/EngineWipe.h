// The end of one wipe sent to the engine, as the benchmarks time it through the tests' client.
#pragma once

#include "EngineClient.h"

#include <chrono>
#include <cstdio>
#include <string>

// Answers the engine's "done" and each "error" (printed) until the engine is back at "ready" or
// silent for ten minutes, then ends it. Returns the seconds from `start` to its "done", or -1
// when no "done" came.
inline double seconds_to_done(EngineClient& engine, std::chrono::steady_clock::time_point start) {
  double elapsed = -1;
  std::string line;
  while (engine.receive(line, 600)) {
    const std::string status = status_of(line);
    if (status == "done") {
      elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      engine.send("\"response\":\"ok\"");
    } else if (status == "error") {
      std::printf("  engine error: %s\n", line.c_str());
      engine.send("\"response\":\"ok\"");
    } else if (status == "ready") {
      break;
    }
  }
  engine.close_input();
  engine.wait();
  return elapsed;
}
