// The client of one wipe engine process (cvwdrv), for one drive.
//
// The first command sent starts "<engine> command=interactive" and waits as the pending line
// until the engine reports "ready"; every later line is written at once. Each message in either
// direction is one config::Value Object written as its members without braces, no blanks, and
// a line feed. Replies become engine states and view notifications (DriverControl); the
// engine's standard-error lines go to the debug log as "DriverModel.cpp(120): " + line.
//
// What a reply that cannot be understood does: a line that does not parse, that is not an
// Object with a String "status" naming one of the six replies, or that lacks a member a view
// reads from it (a view's lookup throws), is reported to the views as the failure "Invalid
// response from driver". Nothing a view throws leaves this client.
#pragma once

#include "Drive.h"
#include "DriverControl.h"
#include "Process.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class DriverModel : public DriverControl, public Process::Callback {
public:
  // Nothing is started yet. `enginePath` is the engine program's full path.
  DriverModel(const std::string& enginePath, const Drive& drive);
  // Ends a running engine process; no view is told.
  ~DriverModel() override;

  // While an engine runs (any state but EngineState::Stopped): the state becomes
  // EngineState::Busy and the line is written. While none runs: a new engine is started and the
  // line waits for its "ready", replacing the line an engine that is still starting waited with
  // (that engine is ended). A pause sent while an engine is starting is held instead and written
  // once the engine reports progress of the pending command (dropped if the command ends
  // first).
  // A pause is dropped, with a debug-log line, when no engine runs, when the engine waits for a
  // line (it would take the pause as its answer or as a command), and when a pause is already
  // on its way (the engine would take the second one as the line that resumes it).
  void send(const config::Value& command) override;
  // Starts the engine process. Returns false, with the views told "Cannot start driver",
  // when it cannot; the state is not changed.
  bool start() override;
  // Ends the engine process (also one still starting: its pending line is dropped) and sets
  // EngineState::Stopped; the views hear of the new state only.
  void stop() override;

  // Writes the acknowledgement line ("response" set to "ok") that the engine waits for after
  // "done", "error" or "paused". When the engine waits for no answer (already answered, or no
  // such reply came), nothing is written: the line would be read as a command or a pause.
  void acknowledge();

  // The engine reported "done", "error" or "paused" and waits for the line that answers it:
  // none was written since, and none was on its way when it began to wait.
  bool awaits_answer() const { return awaiting == Awaiting::Answer; }

  // An engine process was started and has not reported "ready" yet: a command is pending.
  // The state is EngineState::Stopped meanwhile, as when no engine runs.
  bool starting() const { return !pendingLine.empty(); }

  const std::string& device_type() const { return deviceType; }
  const std::string& device_id() const { return deviceId; }
  std::uint64_t sectors() const { return sectorCount; }
  std::uint64_t sector_size() const { return sectorSize; }

  void on_stdout_line(char* line) override;
  void on_stderr_line(char* line) override;
  void on_exit(int status) override;

private:
  // What the engine waits for, if anything.
  enum class Awaiting { Nothing, Command, Answer };

  void handle_reply(const config::Value& reply, const std::string& status);
  // The engine reports that it began to wait for one line (`what`). It reads its lines in the
  // order they were written: when lines are on their way that no earlier wait took, the oldest
  // is its answer. Returns whether one was, and then whether that one was a pause.
  bool begins_to_wait(Awaiting what, bool& tookPause);
  // Writes one framed line; a failed write is only logged.
  void write_line(const std::string& line);
  // Forgets every line on its way and every wait: the engine is new, or gone.
  void forget_lines();
  // Tells the views of a failure; what they throw is logged.
  void report_failure(const std::string& text);

  std::string enginePath;
  std::string deviceType;
  std::string deviceId;
  std::uint64_t sectorCount;
  std::uint64_t sectorSize;
  std::string pendingLine;
  // A pause asked for while the engine was starting, written at the command's first progress.
  bool pauseHeld = false;
  // The engine's last wait that no line written answers yet.
  Awaiting awaiting = Awaiting::Nothing;
  // The lines written since the engine last began to wait that no wait took: the engine has
  // not read them yet, or read them as pauses. True for a pause line.
  std::deque<bool> onTheirWay;
  // Last member: destroyed first, so the engine ends before anything else of this client goes.
  Process process;
};

// A client for `drive` whose engine is the program configuration's String member "Driver".
// Throws config::Value::Exception when that member is missing or not a String.
std::unique_ptr<DriverModel> make_driver_model(const config::Value& configuration,
                                               const Drive& drive);

// Sends the "blink" command for the client's whole drive: bursts of 256 sectors read without
// buffering, 300 ms apart, from sector 0 to the end and again, until the client is destroyed.
void send_blink_command(DriverModel& driver);
