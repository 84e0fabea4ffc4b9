#include "Ranges.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// The end of a stretch, held at the largest sector number where the sum would wrap.
std::uint64_t end_of(std::uint64_t start, std::uint64_t count) {
  const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
  return count > most - start ? most : start + count;
}

} // namespace

void Ranges::add(std::uint64_t start, std::uint64_t count) {
  if (count == 0)
    throw std::runtime_error("Ranges.cpp(23)");
  if (count > std::numeric_limits<std::uint64_t>::max() - start)
    throw std::runtime_error("Ranges.cpp(24)");
  const std::uint64_t end = start + count;
  auto next = items_.lower_bound(start);
  bool takeNext = false;
  if (next != items_.end() && end >= next->first) {
    if (end != next->first)
      throw std::runtime_error("Ranges.cpp(29)");
    takeNext = true;
    count += next->second;
  }
  if (next != items_.begin()) {
    auto previous = std::prev(next);
    const std::uint64_t previousEnd = previous->first + previous->second;
    if (previousEnd >= start) {
      if (previousEnd != start)
        throw std::runtime_error("Ranges.cpp(39)");
      if (takeNext)
        items_.erase(next);
      previous->second += count;
      return;
    }
  }
  if (takeNext)
    items_.erase(next);
  items_.emplace(start, count);
}

void Ranges::remove(std::uint64_t start, std::uint64_t count) {
  if (count == 0)
    throw std::runtime_error("Ranges.cpp(55)");
  auto r = items_.upper_bound(start);
  if (r == items_.begin())
    throw std::runtime_error("Ranges.cpp(57)");
  --r;
  const std::uint64_t oldEnd = r->first + r->second;
  if (count > std::numeric_limits<std::uint64_t>::max() - start || start + count > oldEnd)
    throw std::runtime_error("Ranges.cpp(62)");
  const std::uint64_t end = start + count;
  if (r->first == start)
    items_.erase(r);
  else
    r->second = start - r->first;
  if (oldEnd > end)
    items_.emplace(end, oldEnd - end);
}

Ranges::Range Ranges::intersect(std::uint64_t start, std::uint64_t count) const {
  const std::uint64_t end = end_of(start, count);
  auto next = items_.lower_bound(start);
  if (next != items_.begin()) {
    auto previous = std::prev(next);
    const std::uint64_t previousEnd = previous->first + previous->second;
    if (previousEnd > start)
      return Range(start, std::min(end, previousEnd) - start);
  }
  if (next != items_.end() && next->first < end)
    return Range(next->first, std::min(end, next->first + next->second) - next->first);
  return Range(start, 0);
}

bool Ranges::overlaps(std::uint64_t start, std::uint64_t count) const {
  const std::uint64_t end = end_of(start, count);
  auto next = items_.lower_bound(start);
  if (next != items_.end() && next->first < end)
    return true;
  if (next != items_.begin()) {
    auto previous = std::prev(next);
    if (previous->first + previous->second > start)
      return true;
  }
  return false;
}
