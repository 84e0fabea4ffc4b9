// What the processes that serve one simulated machine share: the drive letters deleted, the
// volumes locked and the volumes dismounted. It lives in a file beside the machine file
// ("<machine file>.state"), read and changed under a lock of that file, so that wipedesk and
// the cvwdrv processes that it starts see the same machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class SimulatedState {
public:
  // A lock or dismount held through one device of one process; it ends when that device is
  // closed, or when the process has ended.
  struct Claim {
    std::string volume; // the volume's GUID
    long pid = 0;
    std::uint64_t token = 0; // the device within its process
  };
  struct Snapshot {
    std::string deletedLetters;
    std::vector<Claim> locks;
    std::vector<Claim> dismounts;
  };

  explicit SimulatedState(std::string path) : path(std::move(path)) {}

  // Reads the state; claims of processes that have ended are left out. A missing file is the
  // empty state. False with the last error set when the file cannot be read.
  bool read(Snapshot& snapshot) const;

  // Reads the state, lets `change` alter it and writes it back, all under an exclusive lock of
  // the file. When `change` returns false (with the last error set) nothing is written and the
  // result is false. False with the last error set when the file cannot be read or written.
  bool update(const std::function<bool(Snapshot&)>& change) const;

private:
  std::string path;
};

} // namespace platform
