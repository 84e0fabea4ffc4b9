#pragma once

#include "OpenMode.h"
#include "ReaderWriterStd.h"

#include <string>

namespace dt {

// An ordinary file used as a device: the engine's commands work on its bytes as if they were a
// device's sectors. Failures are reported by results and debug-log lines; nothing throws.
class FileStd : public ReaderWriterStd {
public:
  // The most bytes that one call of the runtime moves (its count is 32-bit, and the system moves
  // a little under 2 GiB per call), and the most that the engine asks of a file at once.
  static constexpr std::uint64_t max_transfer = std::uint64_t(1) << 30;

  FileStd() = default;
  ~FileStd() override;
  FileStd(const FileStd&) = delete;
  FileStd& operator=(const FileStd&) = delete;

  // Opens `path` (UTF-8) in `mode`; Write and ReadWrite create a missing file, and no mode
  // truncates. Devices and pipes are refused: a raw device
  // is opened only through the raw device types, which lock its volumes. Returns false, with a
  // debug-log line, when the file cannot be opened or sized; the object is then closed.
  bool open(const std::string& path, OpenMode mode, int extraFlags);

  // read_some or write_some of all `length` bytes; false, with a debug-log line, when fewer
  // moved.
  bool read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  // Read or write `length` bytes at `offset`, call after call: the system may move fewer bytes
  // than asked at one call (a file served over FUSE or NFS does), which is no failure. Return
  // the bytes moved: all of them; fewer when a read reaches the end of the file, or when a call
  // fails (with a debug-log line) after some bytes went; 0 when the first call fails or the
  // offset cannot be reached.
  std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  bool write_exact(std::uint64_t offset, const void* data, std::uint64_t length) override;
  std::int64_t write_some(std::uint64_t offset, const void* data, std::uint64_t length) override;
  bool sync() override;
  bool close() override;

private:
  enum class Direction { Read, Write };
  std::int64_t move(Direction direction, std::uint64_t offset, void* buffer, std::uint64_t length);

  int fd = -1;
};

} // namespace dt
