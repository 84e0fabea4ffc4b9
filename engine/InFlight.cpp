#include "InFlight.h"

#include "Operation.h"

#include <algorithm>

InFlight::InFlight(Operation& operation, Way way, std::uint64_t limit)
    : operation(operation), way(way), limit(limit), most(operation.transfers_in_flight()) {}

InFlight::~InFlight() {
  try {
    drop();
  } catch (...) {
    // Abandoning reports nothing; a failure here leaves nothing to be done.
  }
}

bool InFlight::next(Chunk& chunk) const {
  const auto [lba, count] = chunk;
  if (way == Way::Downwards) {
    if (lba <= limit)
      return false;
    const std::uint64_t size = std::min(count, lba - limit);
    chunk = {lba - size, size};
    return true;
  }
  if (lba + count >= limit)
    return false;
  chunk = {lba + count, std::min(count, limit - (lba + count))};
  return true;
}

void InFlight::drop() {
  if (started.empty())
    return;
  started.clear();
  operation.abandon();
}

std::uint64_t InFlight::transfer(std::uint64_t lba, std::uint64_t count) {
  if (most <= 1 && started.empty())
    return operation.process(lba, count);
  if (!started.empty() && started.front() != Chunk(lba, count))
    drop(); // the walk is somewhere else than its way
  if (started.empty()) {
    operation.pause_point();
    operation.start(lba, count);
    started.emplace_back(lba, count);
    alone = true;
  }
  // While a line from the client waits, nothing more is started: the walk pauses (or ends) once
  // the chunks in flight have ended, at the pause point before the next start.
  Chunk ahead = started.back();
  while (started.size() < std::min(window, most) && !operation.line_waiting() && next(ahead)) {
    operation.start(ahead.first, ahead.second);
    started.push_back(ahead);
    alone = false;
  }
  const bool shared = !alone;
  started.pop_front();
  alone = false; // any chunk still in flight was started beside this one
  std::uint64_t done = operation.finish();
  if (done == count) {
    window = std::min(window * 2, most);
    return done;
  }
  drop();
  window = 1;
  // A device may fail a request that it made of several transfers in flight as a whole, for a
  // failing sector in any of them: only a failure of the transfer alone counts.
  if (shared)
    done = operation.redo(lba, count);
  return done;
}
