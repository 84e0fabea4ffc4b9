#include "Notifier.h"

#include "DebugLog.h"
#include "Guarded.h"
#include "ProgramConfig.h"

#include <cstdint>
#include <ostream>

Notifier::Notifier(Settings* settings)
    : settings(settings), directory(program_config().get_string("Program Path")),
      playerPath(directory + "/tonlet") {}

Notifier::~Notifier() { stop(); }

void Notifier::stop() {
  if (timer != 0) {
    g_source_remove(timer);
    timer = 0;
  }
}

void Notifier::notify(Kind kind) {
  stop();
  std::string file;
  int period = 0;
  if (kind == Kind::Error && settings->notifier_error_on()) {
    file = settings->notifier_error_arg();
    period = settings->notifier_error_period();
  } else if (kind == Kind::Done && settings->notifier_done_on()) {
    file = settings->notifier_done_arg();
    period = settings->notifier_done_period();
  }
  if (file.empty())
    return;
  soundPath = directory + "/" + file;
  // In 64 bits: a period of a month and more does not wrap into a short one. Beyond what a
  // millisecond timer holds, whole seconds serve.
  if (period > 0) {
    const std::int64_t ms = std::int64_t{period} * 1000;
    timer = ms <= G_MAXUINT ? g_timeout_add(static_cast<guint>(ms), on_repeat, this)
                            : g_timeout_add_seconds(static_cast<guint>(period), on_repeat, this);
  }
  play();
}

void Notifier::play() {
  std::string player = playerPath, sound = soundPath;
  char* argv[] = {player.data(), sound.data(), nullptr};
  bool started = false;
  try {
    started = process.start(argv);
  } catch (const std::exception& e) {
    debug_log() << "Notifier.cpp(62): " << e.what() << "\n";
    process.stop();
  }
  if (!started)
    debug_log() << "Notifier.cpp(68): " << playerPath << " " << soundPath << "\n";
}

gboolean Notifier::on_repeat(gpointer self) {
  guarded("Notifier.cpp(76)", "Notifier.cpp(76)", [&] { static_cast<Notifier*>(self)->play(); });
  return G_SOURCE_CONTINUE;
}
