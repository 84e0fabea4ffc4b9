#include "DriverModel.h"

#include "DebugLog.h"
#include "Format.h"

#include <libintl.h>

#include <algorithm>
#include <ostream>

namespace {

std::string framed(const config::Value& message) {
  return message.to_string(config::Braces::Omitted, config::Layout::OneLine) + "\n";
}

const std::string& pause_line() {
  static const std::string line = [] {
    config::Value command(config::Value::Object);
    command.set("command", "pause");
    return framed(command);
  }();
  return line;
}

// Names what a handler threw, for the debug log.
std::string exception_text() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception";
  }
}

} // namespace

DriverModel::DriverModel(const std::string& enginePath, const Drive& drive)
    : enginePath(enginePath), deviceType("drive"), deviceId(drive.id()),
      sectorCount(drive.sectors()), sectorSize(drive.sector_size()) {
  process.set_callback(this);
}

DriverModel::~DriverModel() = default;

void DriverModel::send(const config::Value& command) {
  const std::string line = framed(command);
  // The line goes out before the views hear of the state, so that whatever a view sends or
  // stops in reaction comes after it.
  if (state() != EngineState::Stopped) {
    if (line == pause_line()) {
      if (awaiting != Awaiting::Nothing) {
        debug_log() << "DriverModel.cpp(96): pause while the engine waits for a line\n";
        return;
      }
      if (std::find(onTheirWay.begin(), onTheirWay.end(), true) != onTheirWay.end()) {
        debug_log() << "DriverModel.cpp(97): pause while a pause is on its way\n";
        return;
      }
    }
    write_line(line);
    set_state(EngineState::Busy);
    return;
  }
  if (line == pause_line()) {
    // A pause is no command: it must neither replace the command of an engine that is still
    // starting nor start an engine of its own.
    if (starting())
      pauseHeld = true;
    else
      debug_log() << "DriverModel.cpp(95): pause while no engine runs\n";
    return;
  }
  // Pending before the views hear of the start, so that a view that stops the engine then
  // drops this line too.
  pendingLine = line;
  pauseHeld = false;
  const Liveness token = liveness();
  if (!start() && *token)
    pendingLine.clear();
}

bool DriverModel::start() {
  std::string path = enginePath;
  std::string argument = "command=interactive";
  char* argv[] = {path.data(), argument.data(), nullptr};
  bool started = false;
  try {
    started = process.start(argv);
  } catch (const std::exception& e) {
    // The pipes could not be set up: an engine nobody can talk to is ended at once.
    debug_log() << "DriverModel.cpp(110): " << e.what() << "\n";
    process.stop();
  }
  forget_lines();
  if (!started) {
    // The line that was to wait for this engine is dropped before the views hear of it.
    pendingLine.clear();
    pauseHeld = false;
    report_failure(gettext("Cannot start driver"));
    return false;
  }
  notify_started();
  return true;
}

void DriverModel::stop() {
  process.stop();
  pendingLine.clear();
  pauseHeld = false;
  forget_lines();
  set_state(EngineState::Stopped);
}

void DriverModel::acknowledge() {
  if (awaiting != Awaiting::Answer) {
    debug_log() << "DriverModel.cpp(135): no line awaited, state " << static_cast<int>(state())
                << "\n";
    return;
  }
  config::Value response(config::Value::Object);
  response.set("response", "ok");
  write_line(framed(response));
}

void DriverModel::forget_lines() {
  awaiting = Awaiting::Nothing;
  onTheirWay.clear();
}

bool DriverModel::begins_to_wait(Awaiting what, bool& tookPause) {
  if (onTheirWay.empty()) {
    awaiting = what;
    return false;
  }
  tookPause = onTheirWay.front();
  onTheirWay.pop_front();
  awaiting = Awaiting::Nothing;
  return true;
}

void DriverModel::write_line(const std::string& line) {
  // A line written while the engine waits is its answer; any other reaches the engine later,
  // and the engine's next wait may take it.
  if (awaiting != Awaiting::Nothing)
    awaiting = Awaiting::Nothing;
  else
    onTheirWay.push_back(line == pause_line());
  try {
    process.write(line.c_str());
  } catch (const std::exception& e) {
    // No engine to write to: it has ended or was stopped by a view meanwhile.
    debug_log() << "DriverModel.cpp(148): " << e.what() << "\n";
  }
}

void DriverModel::report_failure(const std::string& text) {
  try {
    notify_failure(text);
  } catch (...) {
    debug_log() << "DriverModel.cpp(156): " << exception_text() << "\n";
  }
}

void DriverModel::on_stdout_line(char* line) {
  config::Value reply(config::Value::Object);
  if (!reply.parse(line) || reply.type() != config::Value::Object || !reply.has("status") ||
      reply.get("status").type() != config::Value::String) {
    report_failure(gettext("Invalid response from driver"));
    return;
  }
  const Liveness token = liveness();
  try {
    handle_reply(reply, reply.get("status").as_string());
  } catch (...) {
    // A view read a member the reply lacks, or of another type: the reply is the engine's
    // fault, and the views hear of it as such.
    debug_log() << "DriverModel.cpp(172): " << exception_text() << "\n";
    if (*token)
      report_failure(gettext("Invalid response from driver"));
  }
}

void DriverModel::handle_reply(const config::Value& reply, const std::string& status) {
  const Liveness token = liveness();
  bool tookPause = false;
  if (status == "ready") {
    if (begins_to_wait(Awaiting::Command, tookPause)) {
      // A command sent after the last reply was answered is on its way: the engine runs it.
      set_state(EngineState::Busy);
      return;
    }
    if (pendingLine.empty()) {
      set_state(EngineState::Ready);
      return;
    }
    std::string line;
    line.swap(pendingLine);
    write_line(line);
    set_state(EngineState::Busy);
  } else if (status == "done" || status == "error") {
    pauseHeld = false;
    if (begins_to_wait(Awaiting::Answer, tookPause)) {
      debug_log() << "DriverModel.cpp(190): " << status
                  << " is answered by a line already on its way" << (tookPause ? ", a pause" : "")
                  << "\n";
      // After an error the engine goes on with the operation: the pause it took as its answer
      // is sent again, so that the operation pauses as it was asked to.
      if (tookPause && status == "error")
        write_line(pause_line());
    }
    set_state(EngineState::Finished);
    if (!*token)
      return;
    if (status == "done")
      notify_done(reply);
    else
      notify_error(reply);
  } else if (status == "paused") {
    // The engine read a line while it worked, and now waits for the one that resumes it.
    if (onTheirWay.empty())
      debug_log() << "DriverModel.cpp(200): paused without a line on its way\n";
    else
      onTheirWay.pop_front();
    begins_to_wait(Awaiting::Answer, tookPause);
    set_state(EngineState::Paused);
  } else if (status == "resumed") {
    set_state(EngineState::Busy);
  } else if (status == "update") {
    if (pauseHeld) {
      // The pending command is under way now: the pause asked for while it waited applies.
      pauseHeld = false;
      pause();
      if (!*token)
        return;
    }
    notify_update(reply);
  } else {
    report_failure(gettext("Invalid response from driver"));
  }
}

void DriverModel::on_stderr_line(char* line) {
  debug_log() << "DriverModel.cpp(120): " << line << "\n";
}

void DriverModel::on_exit(int status) {
  pendingLine.clear();
  pauseHeld = false;
  forget_lines();
  const Liveness token = liveness();
  try {
    set_state(EngineState::Stopped);
    if (!*token)
      return;
    report_failure(format(gettext("Driver exit status: %1"), std::to_string(status)));
    if (!*token)
      return;
    notify_stopped();
  } catch (...) {
    debug_log() << "DriverModel.cpp(230): " << exception_text() << "\n";
  }
}

std::unique_ptr<DriverModel> make_driver_model(const config::Value& configuration,
                                               const Drive& drive) {
  return std::make_unique<DriverModel>(configuration.get_string("Driver"), drive);
}

void send_blink_command(DriverModel& driver) {
  config::Value command(config::Value::Object);
  command.set("command", "blink");
  config::Value& device = command["device"];
  device.set("type", driver.device_type());
  device.set("id", driver.device_id());
  device.set("disable buffering", true);
  device.set("sectorSize", static_cast<unsigned long long>(driver.sector_size()));
  command.set("sectors", static_cast<unsigned long long>(driver.sectors()));
  command.set("sectorsPerTime", 256);
  command.set("period", 300);
  driver.send(command);
}
