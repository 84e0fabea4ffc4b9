#pragma once

#include "ReaderStd.h"
#include "WriterStd.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace dt {

// The interface of every device the engine reads and writes by byte offset. A device is owned
// and deleted through this interface; its destructor closes what it holds.
//
// Besides the transfers that end before they return, a device takes transfers that are started
// and finished apart, so that several can be in flight: start_read_some and start_write_some
// take the arguments of read_some and write_some, and finish gives the result of the oldest
// transfer started and not yet finished, as read_some or write_some would have given it. The
// caller keeps each buffer untouched until its transfer is finished, and never has more than
// transfers_in_flight() of them started and not finished. A device that moves one transfer at
// a time (this default) runs it when it is started and keeps its result.
class ReaderWriterStd : public ReaderStd, public WriterStd {
public:
  // How many transfers the device keeps in flight at once.
  virtual std::size_t transfers_in_flight() const { return 1; }
  virtual void start_read_some(std::uint64_t offset, void* buffer, std::uint64_t length) {
    results.push_back(read_some(offset, buffer, length));
  }
  virtual void start_write_some(std::uint64_t offset, const void* data, std::uint64_t length) {
    results.push_back(write_some(offset, data, length));
  }
  // The memory the caller's transfer buffers come from, which stays allocated while the device
  // is open: a device that locks the buffer of each transfer may lock it once instead. Nothing
  // (this default) for one that locks nothing.
  virtual void keep_memory(void* start, std::uint64_t length) {
    (void)start;
    (void)length;
  }
  // The result of the oldest transfer in flight; 0 when there is none.
  virtual std::int64_t finish_some() {
    if (results.empty())
      return 0;
    const std::int64_t result = results.front();
    results.pop_front();
    return result;
  }

private:
  std::deque<std::int64_t> results;
};

} // namespace dt
