// One wipe sent to the engine, as the benchmarks time it through the tests' client: the command
// line of a wipe of a raw drive, and the end of the wipe.
#pragma once

#include "EngineClient.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

// The command line of a `mode` wipe of the drive at `path` from its first sector on, `sectors`
// of `sectorSize` bytes, `perTime` sectors to a transfer, with progress every second and the
// default handling of errors.
inline std::string raw_wipe_line(const std::string& mode, const std::string& path,
                                 std::uint64_t sectorSize, std::uint64_t sectors,
                                 std::uint64_t perTime, bool verify) {
  config::Value wipe(config::Value::Object);
  wipe.set("command", "wipe");
  wipe.set("mode", mode);
  wipe.set("pattern", "");
  wipe.set("verify", verify);
  wipe.set("sectorsPerTime", static_cast<long long>(perTime));
  wipe.set("updatePeriod", 1000);
  wipe.set("jumpAfterErrorSectors", 1);
  wipe.set("jumpAfterErrorDouble", true);
  wipe.set("lba", 0);
  wipe.set("sectors", static_cast<long long>(sectors));
  config::Value& device = wipe["device"];
  device = config::Value(config::Value::Object);
  device.set("type", "drive");
  device.set("id", path);
  device.set("sectorSize", static_cast<long long>(sectorSize));
  return wipe.to_string(config::Braces::Omitted, config::Layout::OneLine);
}

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
