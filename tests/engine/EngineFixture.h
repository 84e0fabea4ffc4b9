// A fixture that starts the real engine binary in a temporary directory and offers the pieces
// of a wipe test: images, device descriptions, wipe commands and sector comparisons.
#pragma once

#include "EngineClient.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class EngineFixture : public ::testing::Test {
protected:
  // Starts the engine with `arguments`, its debug log in the file "engine.log" of the directory
  // unless `ownLog` is false, and its standard error in "stderr.txt".
  void start(std::vector<std::string> arguments = {"command=interactive"}, bool ownLog = true);
  // Starts the engine and takes its first "ready".
  void start_ready();
  // Closes the engine's input, so that it ends, and returns its exit code.
  int finish();

  std::string log_text() const;
  std::string error_text() const;

  TempDir dir;
  std::unique_ptr<EngineClient> engine;
  std::uint64_t fileSizeLimit = 0; // for the engines started from now on, see EngineClient
  EngineClient::Ring ring = EngineClient::Ring::Allowed; // likewise
};

// One message line, as the engine writes them.
std::string line_of(const config::Value& message);

// A device description for the file `path`.
config::Value file_device(const std::string& path, long long sectorSize = 512);
// A device description for a raw device of the machine: `type` "drive", "partition" or
// "floppy", `id` its path ("\\.\PhysicalDrive0").
config::Value raw_device(const std::string& type, const std::string& id, long long sectorSize,
                         bool disableBuffering = false);
// A device description for the emulated device with the good ranges `good` ([first, count]).
config::Value emulator_device(const std::vector<std::pair<long long, long long>>& good,
                              const std::string& pattern, long long sectorSize = 512);

// A "wipe" command over `sectors` sectors from `lba`, in chunks of `sectorsPerTime`: mode
// "forward", pattern "CVW", no verification, no paced progress, a skip of 1 after an error.
config::Value wipe_command(const config::Value& device, long long lba, long long sectors,
                           long long sectorsPerTime);

// Writes an image of `sectors` sectors in which every byte depends on its offset, so that a
// sector written to the wrong place or left out shows.
std::string make_image(const std::string& path, std::uint64_t sectors, std::uint64_t sectorSize);

// One sector laid with `pattern` from its first byte.
std::string pattern_sector(const std::string& pattern, std::uint64_t sectorSize);

// Empty when the two byte strings are equal; else where they first differ: the sector, the
// 16 bytes there on both sides, and the sizes.
std::string first_difference(const std::string& actual, const std::string& expected,
                             std::uint64_t sectorSize);

// The replies with the varying "run time" replaced by T.
std::vector<std::string> without_run_time(const std::vector<std::string>& replies);

// The text of the file `path`, empty when there is none.
std::string file_text(const std::string& path);
