// A volume of a sample drive for the tests of the drive task's panels, in one expression.
#pragma once

#include "Partition.h"

#include <cstdint>
#include <string>

inline Partition partition(const std::string& name, std::uint64_t start, std::uint64_t sectors) {
  Partition p;
  p.set_name(name);
  p.set_start(start);
  p.set_sectors(sectors);
  return p;
}
