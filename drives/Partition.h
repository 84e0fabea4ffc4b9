// One volume on a drive as the interface shows it: its display name, its first sector and its
// length in sectors.
#pragma once

#include <cstdint>
#include <string>

class Partition {
public:
  const std::string& name() const { return name_; }
  void set_name(const std::string& name) { name_ = name; }

  std::uint64_t start() const { return start_; }
  void set_start(std::uint64_t start) { start_ = start; }

  std::uint64_t sectors() const { return sectors_; }
  void set_sectors(std::uint64_t sectors) { sectors_ = sectors; }

private:
  std::string name_;
  std::uint64_t start_ = 0;
  std::uint64_t sectors_ = 0;
};
