#include "DriverModel.h"

#include "DebugLog.h"
#include "Format.h"

#include <libintl.h>

#include <ostream>

namespace {

std::string framed(const config::Value& message) { return message.to_string(true, false) + "\n"; }

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
  if (state() != EngineStopped) {
    write_line(line);
    set_state(EngineBusy);
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
  lineAwaited = false;
  if (!started) {
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
  lineAwaited = false;
  set_state(EngineStopped);
}

void DriverModel::acknowledge() {
  if (!lineAwaited) {
    debug_log() << "DriverModel.cpp(135): no line awaited, state " << state() << "\n";
    return;
  }
  config::Value response(config::Value::Object);
  response.set("response", "ok");
  write_line(framed(response));
}

void DriverModel::write_line(const std::string& line) {
  lineAwaited = false;
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
  if (status == "ready") {
    lineAwaited = false;
    if (pendingLine.empty()) {
      set_state(EngineReady);
      return;
    }
    std::string line;
    line.swap(pendingLine);
    write_line(line);
    set_state(EngineBusy);
  } else if (status == "done" || status == "error") {
    lineAwaited = true;
    pauseHeld = false;
    set_state(EngineFinished);
    if (!*token)
      return;
    if (status == "done")
      notify_done(reply);
    else
      notify_error(reply);
  } else if (status == "paused") {
    lineAwaited = true;
    set_state(EnginePaused);
  } else if (status == "resumed") {
    set_state(EngineBusy);
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
  lineAwaited = false;
  const Liveness token = liveness();
  try {
    set_state(EngineStopped);
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
