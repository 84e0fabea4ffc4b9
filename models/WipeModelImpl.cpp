// The wipe task model with its engine client: the operator's operations and the state machine,
// the wipe command, and the reports that turn the engine's replies into status lines,
// percentages, processed areas, task-log entries and the wipe history's entry.
#include "WipeModel.h"

#include "DebugLog.h"
#include "DriveIdentity.h"
#include "DriverModel.h"
#include "FillPattern.h"
#include "Format.h"
#include "GLibOwners.h"
#include "Guarded.h"
#include "LocalTime.h"
#include "MainLog.h"
#include "WipeMethod.h"

#include <glib.h>
#include <libintl.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace {

using EngineState = DriverControl::EngineState;

// What start answers in Done or Waiting.
enum class AckState {
  None,  // an armed model: start sends the wipe
  Error, // an error reply or a failure
  Done,  // the done reply
};

// The longest fill pattern text that the task log shows whole.
constexpr std::size_t logged_pattern_length = 32;

std::string decimal(std::uint64_t n) { return std::to_string(n); }

// `value` with two decimals and a "." whatever the locale.
std::string fixed_two(double value) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

// A count or position of a reply; a negative number, which no engine sends, counts as 0 rather
// than as a huge one.
std::uint64_t count_member(const config::Value& reply, const char* name) {
  const std::int64_t n = reply.get_number(name);
  return n < 0 ? 0 : static_cast<std::uint64_t>(n);
}

// `processed` of `total` in whole percent, truncated; never above 100, and an empty area counts
// as done rather than dividing by zero.
int percent_of(std::uint64_t processed, std::uint64_t total) {
  if (processed >= total)
    return 100;
  return static_cast<int>(static_cast<unsigned __int128>(processed) * 100 / total);
}

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

class WipeModelImpl : public WipeModel {
public:
  WipeModelImpl(const config::Value& configuration, const Drive& drive,
                std::chrono::milliseconds frame);

  void arm() override;
  void pause() override;
  void stop() override;
  void start() override;

private:
  class View : public DriverControl::View {
  public:
    explicit View(WipeModelImpl& owner) : owner(owner) {}
    const std::string& stage_name() const { return stage; }
    bool verifying() const { return verifyStage; }
    void on_state_changed() override;
    void on_done(const config::Value& reply) override;
    void on_error(const config::Value& reply) override;
    void on_failure(const std::string& text) override;
    void on_update(const config::Value& reply) override;

  private:
    void stage_begins(const config::Value& reply);

    WipeModelImpl& owner;
    // The first field of the progress status line, and whether the stage only reads back.
    std::string stage;
    bool verifyStage = false;
  };

  // Done and Waiting hold until the operator's start or stop, whatever the engine does.
  bool held_for_operator() const { return state() == State::Done || state() == State::Waiting; }
  // Areas are reported downwards for the method that wipes from the end (options without a
  // method of the catalogue start no wipe, and count as forwards).
  bool downwards() const {
    const int mode = options().mode();
    return mode >= 0 && mode < WipeMethod::count && WipeMethod::by_index(mode).from_the_end();
  }
  std::uint64_t area_end() const { return saturated_sum(lba(), sectors()); }
  void reset_position() { lastPosition = downwards() ? area_end() : lba(); }

  void sync_state();
  // Holds a progress report to show; shows it at once unless progress was shown less than a
  // frame ago, in which case the frame's end shows the newest one held.
  void hold_progress(std::uint64_t position, std::uint64_t processed);
  // Shows what is held: the areas processed since, the newest status line and percentage.
  void show_held_progress();
  static gboolean on_frame(gpointer self);
  // The note that Idle shows after a wipe stopped where it stands now.
  std::string cancelled_note() const;
  // Reads the drive's identity afresh. Returns true, with the reason in the task log, when the
  // drive path no longer leads to the disk of this task; `reason` receives it.
  bool drive_changed(std::string& reason);
  // The wipe command for the area and options. Throws, with nothing changed, when the
  // configuration holds no template Object or the options name no method.
  config::Value wipe_command() const;
  void send_wipe_command(const config::Value& command);
  void report_area(std::uint64_t position, std::uint64_t length);
  void log_error(const std::string& text);

  const config::Value& config;
  AckState ackState = AckState::None;
  DriverModel driver;
  View driverView;
  Drive drive;
  std::uint32_t errorCount = 0;
  std::uint64_t lastPosition = 0;
  // The stages of the current wipe that write (passes, not verifications), for its rate.
  std::uint64_t writeStages = 0;
  // A wipe command went to the engine, and no done of the whole area came back yet.
  bool wipeUnderway = false;
  // Where the engine last said it was.
  std::uint64_t newestPosition = 0;
  // Progress not shown yet: the areas processed, contiguous, from heldAreaStart for
  // heldAreaLength sectors (0: none); and the newest report's figures.
  std::uint64_t heldAreaStart = 0;
  std::uint64_t heldAreaLength = 0;
  bool heldReport = false;
  std::uint64_t heldPosition = 0;
  std::uint64_t heldProcessed = 0;
  // Progress is shown at most once in this time; 0: every report.
  guint frameMs;
  // Runs while the frame after a shown progress lasts.
  Source frame;
};

WipeModelImpl::WipeModelImpl(const config::Value& configuration, const Drive& drive,
                             std::chrono::milliseconds frame)
    : config(configuration), driver(configuration.get_string("Driver"), drive), driverView(*this),
      drive(drive), frameMs(static_cast<guint>(frame.count())) {
  driver.add_view(&driverView);
  log().add("*** " + format_local_time_or_number(current_time(), "%x") + " ***\n" +
            gettext("ID: ") + drive.id() + "\n" + gettext("MODEL: ") + drive.model() + "\n" +
            gettext("SERIAL: ") + drive.serial() + "\n" + gettext("SECTORS: ") +
            decimal(drive.sectors()) + "\n" + gettext("SECTOR SIZE: ") +
            decimal(drive.sector_size()));
}

void WipeModelImpl::arm() {
  if (state() != State::Idle) {
    debug_log() << "WipeModelImpl.cpp(287): " << static_cast<int>(state()) << "\n";
    return;
  }
  std::string reason;
  if (drive_changed(reason)) {
    show_refusal(reason);
    return;
  }
  ackState = AckState::None;
  set_state(State::Waiting);
  show_status(gettext("READY - Data on this drive will be lost. Are you sure?"));
  show_percent(0);
}

void WipeModelImpl::pause() {
  if (state() != State::Wiping) {
    debug_log() << "WipeModelImpl.cpp(297): " << static_cast<int>(state()) << "\n";
    return;
  }
  log().add(gettext("PAUSE"));
  driver.pause();
}

void WipeModelImpl::stop() {
  show_held_progress();
  frame.reset();
  if (held_for_operator())
    sync_state();
  const EngineState engine = driver.state();
  // An engine that is still starting holds the wipe command, which it would run once ready:
  // it is ended as well.
  if ((engine >= EngineState::Ready && engine <= EngineState::Finished) || driver.starting()) {
    log().add(gettext("STOP"));
    // A command still waiting for its engine wrote nothing (what an earlier wipe left stays
    // said); any other may have. The note is there before Idle is shown.
    if (wipeUnderway && !driver.starting())
      set_cancelled_status(cancelled_note());
    wipeUnderway = false;
    driver.stop();
    return;
  }
  debug_log() << "WipeModelImpl.cpp(317): " << static_cast<int>(engine) << "\n";
}

void WipeModelImpl::start() {
  if (held_for_operator() && ackState == AckState::None) {
    // The whole command is made before anything changes, so that a configuration without
    // the template, or options without a method, fail this wipe like an engine failure would
    // instead of leaving the model Wiping with nothing running.
    config::Value command;
    try {
      command = wipe_command();
    } catch (const std::exception& e) {
      debug_log() << "WipeModelImpl.cpp(325): " << e.what() << "\n";
      driverView.on_failure(format(gettext("Cannot make the wipe command (%1)"), e.what()));
      return;
    }
    // Again right before the command goes: the disk may have changed since it was armed.
    std::string reason;
    if (drive_changed(reason)) {
      ackState = AckState::Error;
      set_state(State::Waiting);
      show_status(std::string(gettext("ERROR")) + " - " + reason);
      show_refusal(reason);
      return;
    }
    set_state(State::Wiping);
    errorCount = 0;
    writeStages = 0;
    heldAreaLength = 0;
    heldReport = false;
    reset_position();
    newestPosition = lba();
    wipeUnderway = true;
    send_wipe_command(command);
  } else if (held_for_operator()) {
    // The engine waits for this answer after its done or error, or after a pause that met the
    // error (the pause was sent again so that the engine stops for the operator); an engine
    // that took a line already on its way as the answer must not get a second one.
    if (driver.awaits_answer())
      driver.acknowledge();
    else
      debug_log() << "WipeModelImpl.cpp(336): " << static_cast<int>(driver.state()) << "\n";
    sync_state();
  } else if (state() == State::Paused) {
    log().add(gettext("RESUME"));
    if (driver.state() == EngineState::Paused)
      driver.acknowledge();
    else
      debug_log() << "WipeModelImpl.cpp(344): " << static_cast<int>(driver.state()) << "\n";
    sync_state();
  } else {
    debug_log() << "WipeModelImpl.cpp(348): " << static_cast<int>(state()) << "\n";
  }
}

void WipeModelImpl::sync_state() {
  switch (driver.state()) {
  case EngineState::Stopped:
  case EngineState::Ready: set_state(State::Idle); break;
  // After an acknowledged error the engine goes on with the wipe while the client stays
  // finished.
  case EngineState::Busy:
  case EngineState::Finished: set_state(State::Wiping); break;
  case EngineState::Paused: set_state(State::Paused); break;
  default:
    debug_log() << "WipeModelImpl.cpp(102): " << static_cast<int>(driver.state()) << "\n";
    break;
  }
}

bool WipeModelImpl::drive_changed(std::string& reason) {
  reason = drive_identity_change(drive);
  if (reason.empty())
    return false;
  log_error(reason);
  return true;
}

config::Value WipeModelImpl::wipe_command() const {
  const int mode = options().mode();
  if (mode < 0 || mode >= WipeMethod::count)
    throw std::runtime_error("no wipe method " + std::to_string(mode));
  config::Value command =
      config.get_typed("wipe", config::Value::Object).get_typed("command", config::Value::Object);
  command.set("command", "wipe");
  config::Value device(config::Value::Object);
  device.set("type", driver.device_type());
  device.set("id", driver.device_id());
  device.set("sectorSize", static_cast<unsigned long long>(driver.sector_size()));
  // The engine checks the disk it opens against it: the path may lead to another disk by then.
  if (!drive.identity().empty())
    device.set("identity", drive.identity());
  command["device"] = device;
  command.set("lba", static_cast<unsigned long long>(lba()));
  command.set("sectors", static_cast<unsigned long long>(sectors()));
  command.set("sectorsPerTime", options().sectors_per_time());
  command.set("pattern", options().pattern());
  command.set("updatePeriod", options().update_period());
  command.set("mode", wipe_method_key(mode));
  command.set("jumpAfterErrorSectors", options().jump_after_error_sectors());
  command.set("jumpAfterErrorDouble", options().jump_after_error_double());
  command.set("verify", options().verify());
  // The ignore choices stay here: the model answers the errors they name itself.
  return command;
}

void WipeModelImpl::send_wipe_command(const config::Value& command) {
  std::string pattern = pattern_to_text(options().pattern());
  if (pattern.size() > logged_pattern_length)
    pattern = pattern.substr(0, logged_pattern_length) + "...";
  log().add(std::string("*** START ***\n") + gettext("STARTING LBA: ") + decimal(lba()) + "\n" +
            gettext("SECTORS: ") + decimal(sectors()) + "\n" + gettext("WIPE METHOD: ") +
            wipe_method_name(options().mode()) + "\n" + gettext("FILL PATTERN: ") + pattern + "\n" +
            gettext("VERIFY AFTER WIPE: ") + (options().verify() ? gettext("Yes") : gettext("No")));
  WipeRecord& record = log().record();
  record.set_drive(drive);
  record.set_options(options());
  record.start(lba(), sectors());
  driver.send(command);
}

// Reports what lies between the last reported position and this one, within the area. A
// stretch behind the position already reported (out of order) reports nothing.
// Each stretch begins where the last one ended (or, downwards, ends where it began), so the
// stretches held until the next frame add up to one.
void WipeModelImpl::report_area(std::uint64_t position, std::uint64_t length) {
  if (downwards()) {
    const std::uint64_t from = std::max(position, lba());
    if (from < lastPosition) {
      heldAreaLength += lastPosition - from;
      heldAreaStart = from;
      lastPosition = from;
    }
    return;
  }
  const std::uint64_t from = std::max(lastPosition, lba());
  const std::uint64_t end = std::min(saturated_sum(position, length), area_end());
  if (end > from) {
    if (heldAreaLength == 0)
      heldAreaStart = from;
    heldAreaLength = end - heldAreaStart;
    lastPosition = end;
  }
}

void WipeModelImpl::hold_progress(std::uint64_t position, std::uint64_t processed) {
  heldReport = true;
  heldPosition = position;
  heldProcessed = processed;
  if (frame)
    return;
  show_held_progress();
  if (frameMs != 0)
    frame.reset(g_timeout_add(frameMs, on_frame, this));
}

void WipeModelImpl::show_held_progress() {
  if (heldAreaLength != 0) {
    const std::uint64_t start = heldAreaStart, length = heldAreaLength;
    heldAreaLength = 0;
    show_area(start, length);
  }
  if (!heldReport)
    return;
  heldReport = false;
  const int percent = percent_of(heldProcessed, sectors());
  show_status(format(gettext("%1 - %2%% | %3 | LBA: %4 | %5 errors"), driverView.stage_name(),
                     std::to_string(percent), format_size(heldProcessed * drive.sector_size()),
                     decimal(heldPosition), std::to_string(errorCount)));
  show_percent(percent);
}

gboolean WipeModelImpl::on_frame(gpointer self) {
  auto& model = *static_cast<WipeModelImpl*>(self);
  bool again = false;
  guarded("WipeModelImpl.cpp(470)", "WipeModelImpl.cpp(471)", [&] {
    // Nothing came during the frame: the next report is shown at once.
    again = model.heldReport || model.heldAreaLength != 0;
    model.show_held_progress();
  });
  if (!again)
    model.frame.forget();
  return again;
}

std::string WipeModelImpl::cancelled_note() const {
  const std::string& stage = driverView.stage_name();
  // What the drive is comes first: a line too long for the panel loses its end.
  if (stage.empty())
    return gettext("CANCELLED - The drive may be partly wiped: the wipe stopped at its start");
  return format(driverView.verifying()
                    ? gettext("CANCELLED - The drive is wiped, but not verified: %1 stopped at "
                              "LBA %2")
                    : gettext("CANCELLED - The drive is only partly wiped: %1 stopped at LBA %2"),
                stage, decimal(newestPosition));
}

void WipeModelImpl::log_error(const std::string& text) {
  log().add(std::string(gettext("ERROR")) + " - " + text);
}

void WipeModelImpl::View::on_state_changed() {
  owner.show_held_progress();
  if (!owner.held_for_operator())
    owner.sync_state();
}

void WipeModelImpl::View::stage_begins(const config::Value& reply) {
  const std::string& word = reply.get_string("set_state");
  std::string name = word;
  bool verifying = false;
  if (word == "wiping") {
    name = gettext("WIPING");
  } else if (word == "verifying") {
    name = gettext("VERIFYING");
    verifying = true;
  } else if (word == "pass") {
    name = format(gettext("PASS %1"), std::to_string(reply.get_number("set_state_index")));
  }
  owner.show_held_progress();
  stage = name;
  verifyStage = verifying;
  if (!verifying)
    ++owner.writeStages;
  owner.reset_position();
}

void WipeModelImpl::View::on_update(const config::Value& reply) {
  if (reply.has("set_state")) {
    stage_begins(reply);
    return;
  }
  if (reply.has("done")) {
    // The stage's end: whatever the progress reports left of the area, in either direction.
    owner.report_area(owner.lba(), owner.sectors());
    owner.show_held_progress();
    return;
  }
  const std::uint64_t position = count_member(reply, "lba");
  const std::uint64_t processed = count_member(reply, "processedSectors");
  const std::uint64_t length = verifyStage ? 0 : count_member(reply, "sectors");
  if (!verifyStage)
    owner.report_area(position, length);
  owner.newestPosition = position;
  owner.hold_progress(position, processed);
}

void WipeModelImpl::View::on_done(const config::Value& reply) {
  owner.show_held_progress();
  const std::int64_t runSize = reply.get_number("run size");
  const std::int64_t runTime = reply.get_number("run time");
  const auto size = static_cast<std::uint64_t>(runSize);
  // The engine's run size is what its last pass went over, failed sectors included: a pass
  // that ends early (it was interrupted, or the engine is faulty) did not wipe the whole area.
  // Such a done earns neither a certificate nor a place in the history.
  const std::uint64_t sectorSize = owner.drive.sector_size();
  const unsigned __int128 area = static_cast<unsigned __int128>(owner.sectors()) * sectorSize;
  if (runSize < 0 || static_cast<unsigned __int128>(size) < area) {
    const std::uint64_t covered = runSize < 0 ? 0 : sectorSize == 0 ? size : size / sectorSize;
    debug_log() << "WipeModelImpl.cpp(420): run size " << runSize << " of " << owner.sectors()
                << " sectors of " << sectorSize << " bytes\n";
    return on_failure(format(gettext("Incomplete wipe: the driver was done after %1 of %2 sectors"),
                             decimal(covered), decimal(owner.sectors())));
  }
  std::string figures =
      format_size(size) + " | " +
      format(gettext("%1 seconds"), fixed_two(static_cast<double>(runTime) / 1000));
  if (runTime > 0) {
    // The engine's run size is its last stage's; the run time covers every stage. The rate is
    // what the whole wipe wrote per second.
    const float written = static_cast<float>(size) *
                          static_cast<float>(std::max<std::uint64_t>(owner.writeStages, 1));
    const float rate = written / static_cast<float>(runTime) / 1000;
    figures += " | " + format(gettext("%1MB/s"), fixed_two(rate));
  }
  figures += " | " + format(gettext("%1 errors"), std::to_string(owner.errorCount));
  std::string line = "DONE - " + figures;
  if (owner.errorCount == 0) {
    owner.log().record().finish();
    line += std::string(" ") + gettext("(Certificate)");
  }
  owner.ackState = AckState::Done;
  owner.wipeUnderway = false;
  owner.set_cancelled_status("");
  owner.show_status(line);
  owner.log().add(line);
  owner.show_percent(100);

  MainLog::Entry entry;
  entry.set_time(current_time());
  entry.set_model(owner.drive.model());
  entry.set_serial(owner.drive.serial());
  entry.set_wipe_method(wipe_method_name(owner.options().mode()));
  entry.set_wipe_lba(owner.lba());
  entry.set_wipe_sectors(owner.sectors());
  entry.set_errors(owner.errorCount);
  MainLog::instance().add(entry);

  owner.set_state(State::Done);
  // No answer to the engine here: it waits for the operator's start, or ends with stop.
}

void WipeModelImpl::View::on_error(const config::Value& reply) {
  owner.show_held_progress();
  const std::string& message = reply.get_string("message");
  const WipeOptions& options = owner.options();
  struct IoFailure {
    const char* message;
    const char* text;
    bool ignored;
  };
  const IoFailure ioFailures[] = {
      {"write failed", gettext("Write failed (LBA: %1, sectors: %2)"),
       options.ignore_write_errors()},
      {"read failed", gettext("Read failed (LBA: %1, sectors: %2)"), options.ignore_read_errors()},
      {"compare failed", gettext("Compare failed (LBA: %1, sectors: %2)"),
       options.ignore_compare_errors()},
  };
  for (const IoFailure& failure : ioFailures) {
    if (message != failure.message)
      continue;
    const std::string text = format(failure.text, decimal(count_member(reply, "lba")),
                                    decimal(count_member(reply, "sectors")));
    ++owner.errorCount;
    if (!failure.ignored)
      return on_failure(text);
    owner.driver.acknowledge();
    owner.log_error(text);
    return;
  }
  if (message == "init failed")
    return on_failure(gettext("Init failed"));
  if (message == "wrong device")
    return on_failure(format(gettext("%1 is no longer the drive this task was opened for: "
                                     "another disk has taken its place, and nothing was written"),
                             owner.drive.id()));
  if (message == "sync failed") {
    ++owner.errorCount;
    return on_failure(gettext("Sync failed"));
  }
  on_failure(message);
}

void WipeModelImpl::View::on_failure(const std::string& text) {
  owner.show_held_progress();
  owner.ackState = AckState::Error;
  owner.set_state(State::Waiting);
  const std::string line = std::string(gettext("ERROR")) + " - " + text;
  owner.show_status(line);
  owner.log().add(line);
}

} // namespace

WipeModel* WipeModelFactoryImpl::create(const Drive& drive) {
  return new WipeModelImpl(configuration, drive, frame);
}
