// One drive's wipe task, without its window: the area and options the wipe panel sets, the task
// log, the model state, and the operator's arm, start, pause and stop turned into commands to an
// engine process of the model's own (started with the first wipe, ended with the model).
//
// A wipe runs like this:
//   arm    Idle -> Waiting, status "READY - Data on this drive will be lost. Are you sure?"
//   start  Waiting -> Wiping: the "wipe" command goes to the engine; progress shows as status
//          lines ("WIPING - 50% | 1.000MB | LBA: 1000 | 0 errors"), percentages and processed
//          areas
//   pause  Wiping -> (the engine confirms) Paused; start resumes: Paused -> Wiping
//   error  an I/O error that the options ignore is counted and logged and the wipe goes on;
//          any other error, and any failure of the engine, gives Waiting with "ERROR - ...";
//          start then lets the engine go on (or, when it has gone, brings the model to Idle)
//   done   Wiping -> Done with "DONE - <size> | <seconds> | <rate> | <errors>" (and
//          "(Certificate)" when there were no errors), a task-log entry and a wipe-history
//          entry; start acknowledges it: Done -> Wiping -> Idle once the engine is ready again.
//          A done whose run did not cover the whole area is an error instead ("ERROR -
//          Incomplete wipe: ..."), with no certificate and no history entry
//   stop   any state -> Idle: the engine process is ended (also one still starting)
// Progress reaches the view at most once a frame (the newest report wins; what lies between is
// summed into the areas); a stage change, an error, the end, a state change and stop first show
// what is held, so that nothing but intermediate progress lines is ever left out.
// A wipe stopped before its end leaves a note (cancelled_status) that Idle shows instead of the
// READY line, naming the stage and the sector where the wipe stopped: the drive is not
// untouched. The note stays until a wipe ends (or the next stopped one replaces it).
// Arm and start read the drive's identity afresh first: when the drive path now leads to
// another disk (or to nothing readable), they refuse, with the reason in the task log and told
// to the view, and nothing reaches the engine; a start so refused is a failure (Waiting with
// "ERROR - ...").
// An operation that does not fit the state only writes a debug-log line.
//
// Everything runs on the main loop's thread. The view may run a nested main loop inside a
// notification, but must not destroy the model from one.
#pragma once

#include "ConfigValue.h"
#include "Drive.h"
#include "Log.h"
#include "WipeOptions.h"

#include <chrono>
#include <cstdint>
#include <string>

class WipeModel {
public:
  // The model states. The numbers are fixed: the wipe panel maps them to its controls and to
  // the drive task's status light. 3 is not used.
  enum class State : int {
    Idle = 0,    // nothing armed or running
    Wiping = 1,  // the engine works on the wipe (also after an acknowledged error)
    Paused = 2,  // the engine reported that it is paused
    Done = 4,    // the wipe finished; the engine waits for the operator's start
    Waiting = 5, // armed, or stopped by an error or a failure; waits for start or stop
  };

  // What shows the model; implemented by the wipe panel.
  class View {
  public:
    // Every set_state, also with an unchanged state.
    virtual void state_changed(State state) = 0;
    // A new status line; `text` is valid during the call only.
    virtual void status_changed(const char* text) = 0;
    virtual void percent_changed(int percent) = 0;
    // The `sectors` sectors from `lba` have been processed (written, or read back by a pass
    // that checks its own writing); never called while a verification reads.
    virtual void area_done(std::uint64_t lba, std::uint64_t sectors) = 0;
    // Arm or start refused to begin a wipe: `reason` (valid during the call only) says why, in
    // one sentence. Called after the state and status notifications of the refusal.
    virtual void start_refused(const char* /*reason*/) {}
    virtual ~View() = default;
  };

  WipeModel() = default;
  WipeModel(const WipeModel&) = delete;
  WipeModel& operator=(const WipeModel&) = delete;
  virtual ~WipeModel() = default;

  // Idle -> Waiting with the READY status and percent 0.
  virtual void arm() = 0;
  // While Wiping: asks the engine to pause; the state becomes Paused when it has.
  virtual void pause() = 0;
  // Ends the engine process, when one runs or is starting, and brings the model to Idle.
  virtual void stop() = 0;
  // Waiting after arm: sends the wipe. Waiting after an error or a failure, or Done: answers
  // the engine (when it waits) and follows its state. Paused: resumes.
  virtual void start() = 0;

  State state() const { return state_; }
  // Stores the state and tells the view, also when the value does not change.
  void set_state(State state);
  // Not owned; null shows nothing.
  void set_view(View* view) { view_ = view; }

  // The wipe area, read at each start.
  std::uint64_t lba() const { return lba_; }
  void set_lba(std::uint64_t lba) { lba_ = lba; }
  std::uint64_t sectors() const { return sectors_; }
  void set_sectors(std::uint64_t sectors) { sectors_ = sectors; }

  // The options, read at each start; the three ignore choices are read at each error, so they
  // may change while a wipe runs.
  const WipeOptions& options() const { return options_; }
  WipeOptions& options() { return options_; }
  void set_options(const WipeOptions& options) { options_ = options; }

  // The status line for Idle after a wipe that was stopped before its end ("CANCELLED - The
  // drive is only partly wiped: PASS 17 stopped at LBA 123456"); empty when none was, or a wipe
  // has ended since.
  const std::string& cancelled_status() const { return cancelledStatus; }

  // The task log, with the record of the latest wipe.
  Log& log() { return log_; }
  const Log& log() const { return log_; }

  // Forward to the view, when one is set.
  void show_status(const std::string& text);
  void show_percent(int percent);
  void show_area(std::uint64_t lba, std::uint64_t sectors);
  void show_refusal(const std::string& reason);

protected:
  void set_cancelled_status(const std::string& text) { cancelledStatus = text; }

private:
  View* view_ = nullptr;
  State state_ = State::Idle;
  std::uint64_t lba_ = 0;
  std::uint64_t sectors_ = 0;
  WipeOptions options_;
  Log log_;
  std::string cancelledStatus;
};

class WipeModelFactory {
public:
  // A new model for `drive`, owned by the caller. Its task log begins with the drive's block;
  // no engine is started yet.
  virtual WipeModel* create(const Drive& drive) = 0;
  virtual ~WipeModelFactory() = default;
};

// Makes models whose engine is the configuration's String member "Driver" and whose "wipe"
// command starts from the configuration's template "wipe"."command" (an Object): every member
// of the template goes to the engine, but "command", "device", the area and the options, which
// the model sets.
class WipeModelFactoryImpl : public WipeModelFactory {
public:
  // How often the models show progress at most: once a frame of a 60 Hz screen. An engine may
  // report far more often than anybody reads, and every status line, percentage and area costs
  // the window a redraw and an assistive tool an event.
  static constexpr std::chrono::milliseconds progress_frame{16};

  // `configuration` (the program configuration) must outlive the factory and its models. A
  // `frame` of 0 shows every progress report as it comes.
  explicit WipeModelFactoryImpl(const config::Value& configuration,
                                std::chrono::milliseconds frame = progress_frame)
      : configuration(configuration), frame(frame) {}
  // Throws config::Value::Exception when "Driver" is missing or not a String. A missing
  // template is found at start, and shown as a failure of that wipe.
  WipeModel* create(const Drive& drive) override;

private:
  const config::Value& configuration;
  std::chrono::milliseconds frame;
};
