// One volume on a drive as the interface shows it: its display name, its first sector and its
// length in sectors, and where it is mounted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Partition {
public:
  const std::string& name() const { return name_; }
  void set_name(const std::string& name) { name_ = name; }

  std::uint64_t start() const { return start_; }
  void set_start(std::uint64_t start) { start_ = start; }

  std::uint64_t sectors() const { return sectors_; }
  void set_sectors(std::uint64_t sectors) { sectors_ = sectors; }

  // Its drive letter with the colon ("D:"), when it has exactly one; else empty.
  const std::string& letter() const { return letter_; }
  void set_letter(const std::string& letter) { letter_ = letter; }

  // The system's own paths at which it is mounted ("/media/stick"), beside its letter.
  const std::vector<std::string>& mount_points() const { return mountPoints_; }
  void set_mount_points(const std::vector<std::string>& points) { mountPoints_ = points; }

private:
  std::string name_;
  std::uint64_t start_ = 0;
  std::uint64_t sectors_ = 0;
  std::string letter_;
  std::vector<std::string> mountPoints_;
};
