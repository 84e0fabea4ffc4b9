#include "EngineClient.h"

#include "Crt.h"

#include <gio/gio.h>
#include <gio/gunixinputstream.h>
#include <gio/gunixoutputstream.h>

#include "RingRefusal.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace {

// What the child is to be given between fork and exec.
struct ChildLimits {
  rlim_t fileSize = 0;
  bool refuseRing = false;
};

// Runs in the child between fork and exec. An ignored signal stays ignored across exec, so a
// write past the limit fails with an error instead of ending the program. A filter that cannot
// be set ends the child, rather than let it run with a ring the test means it not to have.
void limit_child(gpointer data) {
  const ChildLimits& limits = *static_cast<const ChildLimits*>(data);
  if (limits.fileSize != 0) {
    const struct rlimit value { limits.fileSize, limits.fileSize };
    setrlimit(RLIMIT_FSIZE, &value);
    signal(SIGXFSZ, SIG_IGN);
  }
  if (limits.refuseRing && !refuse_io_uring())
    _exit(126);
}

} // namespace

EngineClient::EngineClient(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& errorFile, std::uint64_t fileSizeLimit, Ring ring) {
  // An engine that has ended must make a send fail, not end this process.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<const char*> argv{program.c_str()};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  GSubprocessLauncher* launcher = g_subprocess_launcher_new(
      GSubprocessFlags(G_SUBPROCESS_FLAGS_STDIN_PIPE | G_SUBPROCESS_FLAGS_STDOUT_PIPE));
  g_subprocess_launcher_set_stderr_file_path(launcher, errorFile.c_str());
  ChildLimits limits{static_cast<rlim_t>(fileSizeLimit), ring == Ring::Refused};
  if (limits.fileSize != 0 || limits.refuseRing)
    g_subprocess_launcher_set_child_setup(launcher, limit_child, &limits, nullptr);
  GError* error = nullptr;
  process = g_subprocess_launcher_spawnv(launcher, argv.data(), &error);
  g_object_unref(launcher);
  if (process == nullptr) {
    const std::string message = error->message;
    g_error_free(error);
    throw std::runtime_error("cannot start " + program + ": " + message);
  }
  input = g_unix_output_stream_get_fd(G_UNIX_OUTPUT_STREAM(g_subprocess_get_stdin_pipe(process)));
  output = g_unix_input_stream_get_fd(G_UNIX_INPUT_STREAM(g_subprocess_get_stdout_pipe(process)));
}

EngineClient::~EngineClient() {
  if (process == nullptr)
    return;
  close_input();
  close_output();
  wait(30);
  g_object_unref(process);
}

bool EngineClient::send(const std::string& text) {
  lines.push_back("> " + text);
  return send_raw(text + "\n");
}

bool EngineClient::send_raw(const std::string& bytes) {
  if (!inputOpen)
    return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = _write(input, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool EngineClient::receive(std::string& line, int seconds) {
  const gint64 deadline = g_get_monotonic_time() + gint64(seconds) * G_USEC_PER_SEC;
  for (;;) {
    const std::size_t end = pending.find('\n');
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 1);
      lines.push_back("< " + line);
      return true;
    }
    if (!outputOpen)
      return false;
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0)
      return false;
    GPollFD poll{output, G_IO_IN | G_IO_HUP | G_IO_ERR, 0};
    if (g_poll(&poll, 1, static_cast<gint>(left / 1000 + 1)) <= 0)
      continue;
    char buffer[65536];
    const int n = _read(output, buffer, sizeof buffer);
    if (n <= 0)
      return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

void EngineClient::close_input() {
  if (!inputOpen)
    return;
  inputOpen = false;
  g_output_stream_close(g_subprocess_get_stdin_pipe(process), nullptr, nullptr);
}

void EngineClient::close_output() {
  if (!outputOpen)
    return;
  outputOpen = false;
  g_input_stream_close(g_subprocess_get_stdout_pipe(process), nullptr, nullptr);
}

namespace {

void on_ended(GObject*, GAsyncResult*, gpointer ended) { *static_cast<bool*>(ended) = true; }

gboolean on_expired(gpointer expired) {
  *static_cast<bool*>(expired) = true;
  return G_SOURCE_REMOVE;
}

} // namespace

int EngineClient::wait(int seconds) {
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  bool ended = false;
  bool expired = false;
  g_subprocess_wait_async(process, nullptr, on_ended, &ended);
  GSource* timer = g_timeout_source_new_seconds(static_cast<guint>(seconds));
  g_source_set_callback(timer, on_expired, &expired, nullptr);
  g_source_attach(timer, context);
  while (!ended && !expired)
    g_main_context_iteration(context, TRUE);
  if (!ended) {
    g_subprocess_force_exit(process);
    while (!ended)
      g_main_context_iteration(context, TRUE);
  }
  g_source_destroy(timer);
  g_source_unref(timer);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  if (g_subprocess_get_if_exited(process))
    return g_subprocess_get_exit_status(process);
  return 1000 + g_subprocess_get_term_sig(process);
}

std::string EngineClient::pid() const {
  const char* id = g_subprocess_get_identifier(process);
  return id == nullptr ? std::string() : std::string(id);
}

std::string status_of(const std::string& line) {
  config::Value message(config::Value::Object);
  if (!message.parse(line.c_str()) || message.type() != config::Value::Object)
    return std::string();
  if (!message.has("status") || message.get("status").type() != config::Value::String)
    return std::string();
  return message.get("status").as_string();
}

Exchange converse(EngineClient& engine, const std::string& command, const Answer& answer,
                  const std::vector<std::string>& during) {
  Exchange exchange;
  engine.send(command);
  for (const std::string& line : during)
    engine.send(line);
  std::string line;
  while (engine.receive(line)) {
    exchange.replies.push_back(line);
    const std::string status = status_of(line);
    if (status == "ready") {
      exchange.ready = true;
      break;
    }
    if (status != "error" && status != "done" && status != "paused")
      continue;
    config::Value message(config::Value::Object);
    message.parse(line.c_str());
    if (!engine.send(answer ? answer(message) : std::string("\"response\":\"ok\"")))
      break;
  }
  return exchange;
}
