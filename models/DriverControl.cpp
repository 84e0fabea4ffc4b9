#include "DriverControl.h"

#include <algorithm>

DriverControl::~DriverControl() { *alive = false; }

// Views are walked by position: a view added meanwhile is told too, and a view that destroys
// this object ends the walk.
template <typename Call> void DriverControl::tell_views(Call call) {
  const Liveness token = alive;
  for (std::size_t i = 0; i < views.size(); ++i) {
    call(*views[i]);
    if (!*token)
      return;
  }
}

void DriverControl::set_state(EngineState state) {
  engineState = state;
  tell_views([](View& view) { view.on_state_changed(); });
}

void DriverControl::add_view(View* view) {
  if (view != nullptr && std::find(views.begin(), views.end(), view) == views.end())
    views.push_back(view);
}

void DriverControl::pause() {
  config::Value command(config::Value::Object);
  command.set("command", "pause");
  send(command);
}

void DriverControl::notify_started() {
  tell_views([](View& view) { view.on_started(); });
}

void DriverControl::notify_stopped() {
  tell_views([](View& view) { view.on_stopped(); });
}

void DriverControl::notify_done(const config::Value& reply) {
  tell_views([&](View& view) { view.on_done(reply); });
}

void DriverControl::notify_error(const config::Value& reply) {
  tell_views([&](View& view) { view.on_error(reply); });
}

void DriverControl::notify_update(const config::Value& reply) {
  tell_views([&](View& view) { view.on_update(reply); });
}

void DriverControl::notify_failure(const std::string& text) {
  tell_views([&](View& view) { view.on_failure(text); });
}
