// Runs the default GLib main context until a condition holds, with a hang limit, so that a
// test that waits for a child process or a timer fails instead of hanging the whole run; and a
// timer that shows whether the loop kept running its sources meanwhile.
#pragma once

#include <glib.h>

#include <functional>

// Safety net against a test that would hang; no test relies on it to pass.
constexpr gint64 default_hang_limit_us = 120 * G_USEC_PER_SEC;

// Runs a GMainLoop on the default context until `done` holds; it is checked every
// millisecond. Returns false when the loop hung (the limit passed) instead.
bool run_loop(const std::function<bool()>& done, gint64 limit_us = default_hang_limit_us);

// A timer of the default main context that fires every `interval_ms` while a loop runs and
// records how often it ran and the longest gap between two runs: a test of a flood sees from it
// whether the loop kept running its other sources. Removed with the object, or by stop.
class LoopTicks {
public:
  explicit LoopTicks(guint interval_ms = 2);
  ~LoopTicks();
  LoopTicks(const LoopTicks&) = delete;
  LoopTicks& operator=(const LoopTicks&) = delete;

  // Removes the timer; the figures keep their values.
  void stop();

  int count() const { return count_; }
  // Microseconds.
  gint64 longest_gap() const { return longestGap_; }

private:
  static gboolean on_tick(gpointer data);

  guint timer = 0;
  gint64 last = 0;
  gint64 longestGap_ = 0;
  int count_ = 0;
};
