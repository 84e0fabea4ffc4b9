#include "MainLoop.h"

#include <algorithm>

bool run_loop(const std::function<bool()>& done, gint64 limit_us) {
  struct State {
    GMainLoop* loop;
    const std::function<bool()>& done;
    gint64 deadline;
    bool hung;
  } state{g_main_loop_new(nullptr, FALSE), done, g_get_monotonic_time() + limit_us, false};
  const guint check = g_timeout_add(
      1,
      [](gpointer data) -> gboolean {
        auto& s = *static_cast<State*>(data);
        s.hung = g_get_monotonic_time() > s.deadline;
        if (s.hung || s.done())
          g_main_loop_quit(s.loop);
        return G_SOURCE_CONTINUE;
      },
      &state);
  if (!done())
    g_main_loop_run(state.loop);
  g_source_remove(check);
  g_main_loop_unref(state.loop);
  return !state.hung;
}

LoopTicks::LoopTicks(guint interval_ms) : timer(g_timeout_add(interval_ms, on_tick, this)) {}

LoopTicks::~LoopTicks() { stop(); }

void LoopTicks::stop() {
  if (timer != 0)
    g_source_remove(timer);
  timer = 0;
}

gboolean LoopTicks::on_tick(gpointer data) {
  auto& ticks = *static_cast<LoopTicks*>(data);
  const gint64 now = g_get_monotonic_time();
  if (ticks.last != 0)
    ticks.longestGap_ = std::max(ticks.longestGap_, now - ticks.last);
  ticks.last = now;
  ++ticks.count_;
  return G_SOURCE_CONTINUE;
}
