// The best of several timed runs: the figure least disturbed by the rest of the machine.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

// Runs `work` `rounds` times; returns the shortest run in seconds.
inline double best_of(int rounds, const std::function<void()>& work) {
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}
