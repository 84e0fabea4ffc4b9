#include "Elevation.h"

#include "DebugLog.h"
#include "Guarded.h"
#include "LocaleNames.h"
#include "PolkitActions.h"
#include "Win32Process.h"

#include <cstring>
#include <deque>
#include <iostream>
#include <memory>

namespace {

// pkexec's exit codes when the program did not run.
constexpr int pkexec_dismissed = 126;
constexpr int pkexec_refused = 127;

// What polkit tells pkexec when the session has no authentication agent: nothing can ask for
// the password.
constexpr const char* no_agent_words = "No authentication agent found";

// How many of pkexec's last lines of standard error make its reason, and how long each may be.
constexpr std::size_t reason_lines = 3;
constexpr std::size_t reason_line_bytes = 400;

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

std::string name_of(const char* entry, const char* equals) { return std::string(entry, equals); }

// Whether a variable left out is written to the debug log.
enum class LeftOut { Logged, Unsaid };

// Whether `entry` ("NAME=value") may reach pkexec and the program: anything but a locale
// variable that holds no well-formed locale name.
bool allowed(const char* entry, const char* equals, LeftOut leftOut) {
  const std::string name = name_of(entry, equals);
  if (!is_locale_variable(name) || is_locale_value(name, equals + 1))
    return true;
  if (leftOut == LeftOut::Logged)
    debug_log() << "Elevation.cpp(47): " << name << " is not passed on, it holds no locale name: \""
                << take(g_strescape(equals + 1, nullptr)) << "\"\n";
  return false;
}

// Without XAUTHORITY the X libraries read ~/.Xauthority, and under pkexec "~" is root's.
std::string implied_xauthority(gchar** environment) {
  if (g_environ_getenv(environment, "XAUTHORITY") != nullptr ||
      g_environ_getenv(environment, "DISPLAY") == nullptr)
    return "";
  const gchar* home = g_environ_getenv(environment, "HOME");
  if (home == nullptr || *home == '\0')
    return "";
  const std::string file = take(g_build_filename(home, ".Xauthority", nullptr));
  return g_file_test(file.c_str(), G_FILE_TEST_IS_REGULAR) ? "XAUTHORITY=" + file : "";
}

// The last lines of a stream, whole lines only, at most reason_lines of them that are not
// empty, each cut to reason_line_bytes; the line still being written counts as one.
class LastLines {
public:
  void add(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (bytes[i] == '\n') {
        end_line();
      } else if (current.size() < reason_line_bytes) {
        current += bytes[i];
      }
    }
  }

  std::string text() const {
    std::deque<std::string> kept = lines;
    if (!blank(current)) {
      kept.push_back(current);
      if (kept.size() > reason_lines)
        kept.pop_front();
    }
    std::string joined;
    for (const std::string& line : kept)
      joined += (joined.empty() ? "" : "\n") + line;
    return take(g_utf8_make_valid(joined.c_str(), static_cast<gssize>(joined.size())));
  }

private:
  static bool blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
  }

  void end_line() {
    if (!current.empty() && current.back() == '\r')
      current.pop_back();
    if (!blank(current)) {
      lines.push_back(current);
      if (lines.size() > reason_lines)
        lines.pop_front();
    }
    current.clear();
  }

  std::deque<std::string> lines;
  std::string current;
};

// One pkexec run: its standard error passed on to the launcher's and its last lines kept, and
// its exit awaited, on a main context of its own.
class PkexecRun {
public:
  PkexecRun(GPid pid, int errorFd) : pid(pid), context(g_main_context_new()) {
    channel = platform::io_channel_new_fd(errorFd);
    g_io_channel_set_close_on_unref(channel, TRUE);
    g_io_channel_set_encoding(channel, nullptr, nullptr);
    g_io_channel_set_buffered(channel, FALSE);
    g_io_channel_set_flags(channel, G_IO_FLAG_NONBLOCK, nullptr);
    errorWatch = g_io_create_watch(channel, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR));
    g_source_set_callback(errorWatch, G_SOURCE_FUNC(on_error_output), this, nullptr);
    g_source_attach(errorWatch, context);
    exitWatch = g_child_watch_source_new(pid);
    g_source_set_callback(exitWatch, G_SOURCE_FUNC(on_exit), this, nullptr);
    g_source_attach(exitWatch, context);
  }

  ~PkexecRun() {
    g_source_destroy(errorWatch);
    g_source_unref(errorWatch);
    g_source_destroy(exitWatch);
    g_source_unref(exitWatch);
    g_io_channel_unref(channel);
    g_main_context_unref(context);
    g_spawn_close_pid(pid);
  }

  PkexecRun(const PkexecRun&) = delete;
  PkexecRun& operator=(const PkexecRun&) = delete;

  // Runs until pkexec has ended; returns its exit status (platform::exit_status).
  int wait_for_exit() {
    while (!exited)
      g_main_context_iteration(context, TRUE);
    read_available();
    return status;
  }

  // Passes standard error on until nobody holds it open any more.
  void pass_on_the_rest() {
    while (!closed)
      g_main_context_iteration(context, TRUE);
  }

  std::string reason() const { return tail.text(); }

private:
  static gboolean on_error_output(GIOChannel*, GIOCondition, gpointer self) {
    bool more = false;
    guarded("Elevation.cpp(147)", "Elevation.cpp(148)",
            [&] { more = static_cast<PkexecRun*>(self)->read_available(); });
    return more ? TRUE : FALSE;
  }

  static void on_exit(GPid, gint waitStatus, gpointer self) {
    guarded("Elevation.cpp(153)", "Elevation.cpp(154)", [&] {
      PkexecRun& run = *static_cast<PkexecRun*>(self);
      run.status = platform::exit_status(waitStatus);
      run.exited = true;
    });
  }

  // Reads what is there now. Returns false when the stream has ended.
  bool read_available() {
    if (closed)
      return false;
    char buffer[4096];
    for (;;) {
      gsize count = 0;
      GError* error = nullptr;
      const GIOStatus result =
          g_io_channel_read_chars(channel, buffer, sizeof buffer, &count, &error);
      if (count > 0) {
        std::cerr.write(buffer, static_cast<std::streamsize>(count));
        std::cerr.flush();
        tail.add(buffer, count);
      }
      if (result == G_IO_STATUS_AGAIN)
        return true;
      if (result != G_IO_STATUS_NORMAL) {
        if (error != nullptr)
          debug_log() << "Elevation.cpp(179): " << error->message << "\n";
        g_clear_error(&error);
        closed = true;
        return false;
      }
    }
  }

  GPid pid;
  GMainContext* context;
  GIOChannel* channel = nullptr;
  GSource* errorWatch = nullptr;
  GSource* exitWatch = nullptr;
  LastLines tail;
  bool exited = false;
  bool closed = false;
  int status = 0;
};

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : " ") + word;
  return text;
}

} // namespace

std::vector<std::string> passed_variables(gchar** environment) {
  std::vector<std::string> passed;
  for (gchar** entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr || equals == *entry)
      continue;
    const std::string name = name_of(*entry, equals);
    if (name == "DISPLAY" || name == "XAUTHORITY" ||
        (is_locale_variable(name) && allowed(*entry, equals, LeftOut::Unsaid)))
      passed.push_back(*entry);
  }
  const std::string implied = implied_xauthority(environment);
  if (!implied.empty())
    passed.push_back(implied);
  return passed;
}

std::vector<std::string> pkexec_arguments(const std::string& program, gchar** environment,
                                          PkexecWay way) {
  std::vector<std::string> arguments;
  if (way == PkexecWay::ThroughEnv) {
    arguments.push_back("env");
    const std::vector<std::string> variables = passed_variables(environment);
    arguments.insert(arguments.end(), variables.begin(), variables.end());
  }
  arguments.push_back(program);
  return arguments;
}

std::vector<std::string> pkexec_environment(gchar** environment) {
  std::vector<std::string> result;
  for (gchar** entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr || equals == *entry || allowed(*entry, equals, LeftOut::Logged))
      result.push_back(*entry);
  }
  const std::string implied = implied_xauthority(environment);
  if (!implied.empty())
    result.push_back(implied);
  return result;
}

PkexecWay pkexec_way(const std::string& program, const std::string& folder) {
  const std::vector<PolkitAction> actions = read_polkit_actions(folder);
  const PolkitAction* action = action_naming(actions, program);
  if (action == nullptr) {
    debug_log() << "Elevation.cpp(257): pkexec env " << program << ": no polkit action in "
                << folder << " names it\n";
    return PkexecWay::ThroughEnv;
  }
  if (!action->allowGui) {
    debug_log() << "Elevation.cpp(262): pkexec env " << program << ": the polkit action "
                << action->id << " of " << action->file
                << " names it but does not keep the display "
                   "(org.freedesktop.policykit.exec.allow_gui)\n";
    return PkexecWay::ThroughEnv;
  }
  debug_log() << "Elevation.cpp(268): pkexec " << program << ": the polkit action " << action->id
              << " of " << action->file << " names it\n";
  return PkexecWay::Direct;
}

ElevationOutcome run_with_administrator_rights(const std::string& program, gchar** environment) {
  const PkexecWay way = pkexec_way(program, polkit_actions_folder(environment));
  std::vector<std::string> arguments = pkexec_arguments(program, environment, way);
  std::vector<std::string> variables = pkexec_environment(environment);
  std::string pkexec = "pkexec";
  std::vector<char*> argv{pkexec.data()};
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& variable : variables)
    envp.push_back(variable.data());
  envp.push_back(nullptr);

  GPid pid = 0;
  int errorFd = -1;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, argv.data(), envp.data(),
                                GSpawnFlags(G_SPAWN_SEARCH_PATH_FROM_ENVP |
                                            G_SPAWN_DO_NOT_REAP_CHILD |
                                            G_SPAWN_CHILD_INHERITS_STDIN),
                                nullptr, nullptr, &pid, nullptr, nullptr, &errorFd, &error)) {
    ElevationOutcome outcome;
    outcome.elevation = g_error_matches(error, G_SPAWN_ERROR, G_SPAWN_ERROR_NOENT)
                            ? Elevation::NoPkexec
                            : Elevation::Failed;
    outcome.reason = error->message;
    debug_log() << "Elevation.cpp(297): pkexec " << joined(arguments) << ": " << error->message
                << "\n";
    g_clear_error(&error);
    return outcome;
  }
  PkexecRun run(pid, errorFd);
  const int status = run.wait_for_exit();
  debug_log() << "Elevation.cpp(304): pkexec ended with " << status << "\n";
  ElevationOutcome outcome;
  switch (status) {
  case pkexec_dismissed: outcome.elevation = Elevation::Dismissed; break;
  case pkexec_refused: outcome.elevation = Elevation::Refused; break;
  default:
    outcome.elevation = Elevation::Ran;
    // The program's own children may still write there; cutting them off would end them.
    run.pass_on_the_rest();
    break;
  }
  if (outcome.elevation != Elevation::Ran)
    outcome.reason = run.reason();
  if (outcome.elevation == Elevation::Refused &&
      outcome.reason.find(no_agent_words) != std::string::npos)
    outcome.elevation = Elevation::NoAgent;
  return outcome;
}
