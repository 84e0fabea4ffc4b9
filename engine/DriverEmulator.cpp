#include "DriverEmulator.h"

#include "Pattern.h"

#include <glib.h>

#include <algorithm>
#include <stdexcept>

DriverEmulator::DriverEmulator(const config::Value& description, std::uint64_t sectorSize)
    : sectorSize_(sectorSize) {
  if (sectorSize == 0)
    throw std::runtime_error("DriverEmulator.cpp(14)");
  for (const config::Value& item : description.get_list("good")) {
    if (item.type() != config::Value::List || item.as_list().size() != 2)
      throw std::runtime_error("DriverEmulator.cpp(17)");
    good.add(static_cast<std::uint64_t>(item.as_list()[0].as_number()),
             static_cast<std::uint64_t>(item.as_list()[1].as_number()));
  }
  pattern = description.get_string("pattern");
}

std::uint64_t DriverEmulator::available(std::uint64_t lba, std::uint64_t count) const {
  const Ranges::Range piece = good.intersect(lba, count);
  if (piece.length() == 0 || piece.start() > lba)
    return 0;
  return std::min(piece.start() + piece.length() - lba, count);
}

std::int64_t DriverEmulator::read_some(std::uint64_t offset, void* buffer, std::uint64_t length) {
  if (offset % sectorSize_ != 0)
    throw std::runtime_error("DriverEmulator.cpp(40)");
  if (length % sectorSize_ != 0)
    throw std::runtime_error("DriverEmulator.cpp(41)");
  const std::uint64_t n = available(offset / sectorSize_, length / sectorSize_);
  fill_pattern_sectors(n, buffer, sectorSize_, pattern.data(), pattern.size());
  g_usleep(1000000);
  return static_cast<std::int64_t>(n * sectorSize_);
}

std::int64_t DriverEmulator::write_some(std::uint64_t offset, const void*, std::uint64_t length) {
  if (offset % sectorSize_ != 0)
    throw std::runtime_error("DriverEmulator.cpp(70)");
  if (length % sectorSize_ != 0)
    throw std::runtime_error("DriverEmulator.cpp(71)");
  const std::uint64_t n = available(offset / sectorSize_, length / sectorSize_);
  g_usleep(1000000);
  return static_cast<std::int64_t>(n * sectorSize_);
}

bool DriverEmulator::read_exact(std::uint64_t offset, void* buffer, std::uint64_t length) {
  return read_some(offset, buffer, length) == static_cast<std::int64_t>(length);
}

bool DriverEmulator::write_exact(std::uint64_t offset, const void* data, std::uint64_t length) {
  return write_some(offset, data, length) == static_cast<std::int64_t>(length);
}
