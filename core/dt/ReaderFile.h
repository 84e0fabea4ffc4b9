#pragma once

#include "ReaderStd.h"

#include <cstdint>
#include <string>

namespace dt {

// A reader over an ordinary file.
class ReaderFile : public ReaderStd {
public:
  ReaderFile() = default;
  ~ReaderFile() override;
  ReaderFile(const ReaderFile&) = delete;
  ReaderFile& operator=(const ReaderFile&) = delete;

  // Opens the file `path` (UTF-8) for reading and takes its size; a file that was open before
  // is closed. Returns false, with a debug-log line, when the file cannot be opened or sized,
  // or when `path` names something other than a regular file (a pipe, a device, a directory),
  // which is refused without waiting for a writer or reading from it; the file that was open
  // before then stays open.
  bool open(const std::string& path);

  // After an open that failed: whether it refused something other than a regular file.
  bool not_a_file() const { return notAFile; }

  // Closes the file, if one is open; the size keeps its value.
  void close();

  bool read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  // Reads on after a short count until `length` bytes are read or the file ends, and returns
  // the bytes read. Returns 0, with a debug-log line, when the file cannot be positioned or read.
  std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override;

private:
  int fd = -1;
  bool notAFile = false;
};

} // namespace dt
