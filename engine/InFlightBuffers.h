// The buffers of the transfers that an operation keeps in flight on the device, oldest first, and
// the buffer of the transfer last done, which the operation's on_done looks at: what an
// operation's start, finish and abandon keep track of. The operation names the buffer of each
// chunk; this starts, finishes and drops the transfers in the order that Operation prescribes.
#pragma once

#include "DriverStd.h"

#include <cstdint>
#include <deque>

class InFlightBuffers {
public:
  explicit InFlightBuffers(DriverStd& device) : device(device) {}
  InFlightBuffers(const InFlightBuffers&) = delete;
  InFlightBuffers& operator=(const InFlightBuffers&) = delete;

  // One chunk transferred at once, as DriverStd's read_sectors and write_sectors: what they
  // return. Its buffer becomes last().
  std::uint64_t read(std::uint64_t lba, std::uint64_t count, unsigned char* buffer) {
    last_ = buffer;
    return device.read_sectors(lba, count, buffer);
  }
  std::uint64_t write(std::uint64_t lba, std::uint64_t count, const unsigned char* data) {
    last_ = data;
    return device.write_sectors(lba, count, data);
  }

  // Starts reading a chunk into `buffer`, or writing it from `data`, behind those in flight.
  void start_read(std::uint64_t lba, std::uint64_t count, unsigned char* buffer) {
    device.start_read_sectors(lba, count, buffer);
    flying.push_back(buffer);
  }
  void start_write(std::uint64_t lba, std::uint64_t count, const unsigned char* data) {
    device.start_write_sectors(lba, count, data);
    flying.push_back(data);
  }

  // Finishes the oldest transfer in flight, whose buffer becomes last(): what
  // DriverStd::finish_sectors returns.
  std::uint64_t finish() {
    last_ = flying.front();
    flying.pop_front();
    return device.finish_sectors();
  }

  // Finishes every transfer still in flight and drops their results.
  void abandon() {
    for (; !flying.empty(); flying.pop_front())
      device.finish_sectors();
  }

  // The buffer of the chunk last transferred at once or finished; null before the first.
  const unsigned char* last() const { return last_; }

private:
  DriverStd& device;
  std::deque<const unsigned char*> flying; // the buffers of the transfers in flight
  const unsigned char* last_ = nullptr;
};
