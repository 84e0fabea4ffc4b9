#pragma once

#include "Writer.h"

namespace dt {

// A writer that can also write what it can, flush and close.
class WriterStd : public Writer {
public:
  // Returns the number of bytes written at `offset`, at most `length`; 0 on failure.
  virtual std::int64_t write_some(std::uint64_t offset, const void* data, std::uint64_t length) = 0;
  // Flushes what was written to the device. Returns false when the device reports a failure.
  virtual bool sync() = 0;
  // Releases the device. Returns false when the system reports a failure.
  virtual bool close() = 0;
};

} // namespace dt
