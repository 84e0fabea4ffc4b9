// An ordered set of disjoint sector ranges: the sectors of the emulated device that work.
#pragma once

#include <cstdint>
#include <map>

class Ranges {
public:
  class Range {
  public:
    Range(std::uint64_t start, std::uint64_t length) : start_(start), length_(length) {}
    std::uint64_t start() const { return start_; }
    std::uint64_t length() const { return length_; }

  private:
    std::uint64_t start_;
    std::uint64_t length_;
  };

  // Adds the `count` sectors from `start`; a range that touches another is joined with it.
  // Throws std::runtime_error, and changes nothing, for an empty range, one that overlaps a range
  // of the set, or one that would pass the last sector number.
  void add(std::uint64_t start, std::uint64_t count);
  // Removes the `count` sectors from `start`, which must lie inside one range of the set; throws
  // std::runtime_error, and changes nothing, otherwise.
  void remove(std::uint64_t start, std::uint64_t count);
  // The first piece of the set inside the stretch; {start, 0} when the set has none there.
  Range intersect(std::uint64_t start, std::uint64_t count) const;
  bool overlaps(std::uint64_t start, std::uint64_t count) const;
  void clear() { items_.clear(); }

  const std::map<std::uint64_t, std::uint64_t>& items() const { return items_; }

private:
  std::map<std::uint64_t, std::uint64_t> items_; // first sector -> sector count
};
