// The desktop program's side of one wipe engine: its state as the engine last reported it, and
// the observers told about every change, reply and failure.
//
// DriverModel runs the engine; the wipe, view and blink code holds a DriverControl's views.
// Everything runs on the main loop's thread.
#pragma once

#include "ConfigValue.h"

#include <memory>
#include <string>
#include <vector>

class DriverControl {
public:
  // The engine states; state() returns one of them.
  enum class EngineState : int {
    Stopped = 0,  // no engine process, or one started that has not reported "ready" yet
    Ready = 1,    // the engine reported "ready" and nothing was pending
    Busy = 2,     // a command or a line was written, or the engine reported "resumed"
    Paused = 3,   // the engine reported "paused"
    Finished = 4, // the engine reported "done" or "error" and waits for one line
  };

  // An observer. Every operation has an empty default. A view may call back into the
  // DriverControl (send, stop, even destroy its owner) from any of them.
  class View {
  public:
    // The state was set (also to the value it had); the view reads state().
    virtual void on_state_changed() {}
    // The engine process was started.
    virtual void on_started() {}
    // The engine process ended by itself (not after stop or the destructor).
    virtual void on_stopped() {}
    // A reply whose "status" is "done", "error" or "update", whole.
    virtual void on_done(const config::Value& /*reply*/) {}
    virtual void on_error(const config::Value& /*reply*/) {}
    // A failure of the client itself, as a translated text for the operator.
    virtual void on_failure(const std::string& /*text*/) {}
    virtual void on_update(const config::Value& /*reply*/) {}
    virtual ~View() = default;
  };

  DriverControl() = default;
  DriverControl(const DriverControl&) = delete;
  DriverControl& operator=(const DriverControl&) = delete;
  virtual ~DriverControl();

  // Writes `command` (an Object) to the engine, starting the engine when none runs.
  virtual void send(const config::Value& command) = 0;
  // Starts the engine process. Returns false, with the views told, when it cannot.
  virtual bool start() = 0;
  // Ends the engine process; the views are told the new state only.
  virtual void stop() = 0;

  EngineState state() const { return engineState; }
  // Stores the state and tells every view, also when the value does not change.
  void set_state(EngineState state);

  // Adds a view, not owned; a view added twice is held once. Views are told in the order of
  // adding.
  void add_view(View* view);

  // Sends the pause line: the Object with "command" set to "pause".
  void pause();

  void notify_started();
  void notify_stopped();
  void notify_done(const config::Value& reply);
  void notify_error(const config::Value& reply);
  void notify_update(const config::Value& reply);
  void notify_failure(const std::string& text);

protected:
  // False once this object is destroyed. A handler that tells the views and then goes on
  // holds a copy, since a view may destroy the client it is told by.
  using Liveness = std::shared_ptr<const bool>;
  Liveness liveness() const { return alive; }

private:
  template <typename Call> void tell_views(Call call);

  EngineState engineState = EngineState::Stopped;
  std::vector<View*> views;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
