#pragma once

#include "Reader.h"

namespace dt {

// A reader that can also read what there is: fewer bytes near the end, 0 at or past it.
class ReaderStd : public Reader {
public:
  // Returns the number of bytes read at `offset`, at most `length`.
  virtual std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) = 0;
};

} // namespace dt
