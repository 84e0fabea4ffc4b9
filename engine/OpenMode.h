// How the engine opens a device: the design's three open modes, by their numbers.
#pragma once

enum class OpenMode { Read = 0, Write = 1, ReadWrite = 2 };

// The mode of a wipe's device: read and write when the wipe reads back what it wrote, else write
// only.
constexpr OpenMode write_mode(bool verify) {
  return verify ? OpenMode::ReadWrite : OpenMode::Write;
}
