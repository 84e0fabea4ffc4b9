// An emulated device with no storage behind it: reads give a fill pattern, writes are accepted
// and dropped, every transfer that starts outside the good sector ranges fails, transfers are
// cut at the end of a good range, and every call takes one second, as a slow failing disk would.
#pragma once

#include "Ranges.h"
#include "ReaderWriterStd.h"

#include "ConfigValue.h"

#include <string>

class DriverEmulator : public dt::ReaderWriterStd {
public:
  // Builds the device from its description: "good", a List of [first sector, sector count]
  // pairs, and "pattern", the bytes of every sector read. Throws std::runtime_error for a sector
  // size of 0, an item that is not a pair, or overlapping ranges, and the value exceptions for
  // missing or mistyped members.
  DriverEmulator(const config::Value& description, std::uint64_t sectorSize);

  // The sectors from `lba` up to the end of the good range that holds it, at most `count`.
  std::uint64_t available(std::uint64_t lba, std::uint64_t count) const;
  std::uint64_t sector_size() const { return sectorSize_; }

  // Transfers take whole sectors; an offset or length that is not throws std::runtime_error.
  bool read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  std::int64_t read_some(std::uint64_t offset, void* buffer, std::uint64_t length) override;
  bool write_exact(std::uint64_t offset, const void* data, std::uint64_t length) override;
  std::int64_t write_some(std::uint64_t offset, const void* data, std::uint64_t length) override;
  bool close() override { return true; }
  bool sync() override { return true; }

private:
  std::uint64_t sectorSize_;
  Ranges good;
  std::string pattern;
};
