#include "Process.h"

#include "DebugLog.h"
#include "GLibOwners.h"
#include "Guarded.h"
#include "LineBuffer.h"
#include "Strings.h"
#include "Win32Process.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::uint32_t line_capacity = 1024000;

// Lines handed out per dispatch of a pipe's watch. A child that writes without pause must not
// keep the main loop in one dispatch: after so many lines the loop runs its other sources, and
// the pipe's watch (or the backlog source, for lines already read) comes again.
constexpr std::uint32_t lines_per_dispatch = 256;

// The pipes are read below the priority at which the toolkit lays out and redraws its windows
// (G_PRIORITY_HIGH_IDLE + 10 and + 20), so that windows stay drawn however fast a child writes,
// and below the default idle priority too: the toolkit defers work of its own to idle callbacks
// (a click that an assistive tool asks for is one), which a child that never pauses would
// otherwise hold off for as long as it writes.
constexpr int pipe_priority = G_PRIORITY_DEFAULT_IDLE + 10;

// The lines a child still had in its pipes when it ended are handed out before its exit, up
// to this many bytes; the rest can only come from a process that inherited the pipe and
// writes on, and is dropped.
constexpr std::uint64_t exit_drain_limit = 16 << 20;

// Wraps the pipe descriptor `fd` in a channel that closes it when the last reference goes.
GIOChannel* new_pipe_channel(int fd) {
  GIOChannel* channel = platform::io_channel_new_fd(fd);
  g_io_channel_set_close_on_unref(channel, TRUE);
  return channel;
}

gboolean on_readable(GIOChannel*, GIOCondition, gpointer data);
gboolean on_hangup(GIOChannel*, GIOCondition, gpointer data);
gboolean on_backlog(gpointer data);
void on_child_exit(GPid child, gint waitStatus, gpointer data);

} // namespace

struct Process::Impl {
  using Slot = void (Callback::*)(char*);

  // One of the child's output pipes with its line buffer and its two watches.
  struct ChannelReader {
    struct LineBufferCallback : LineBuffer::Callback {
      explicit LineBufferCallback(ChannelReader& reader) : reader(reader) {}
      void line(char* text) override;
      ChannelReader& reader;
    };

    ChannelReader(Impl& owner, Slot slot)
        : owner(owner), lineBufferCallback(*this), slot(slot),
          lineBuffer(&lineBufferCallback, line_capacity) {}
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    // Sets up the channel just made for the pipe and watches it. Throws std::runtime_error
    // "Process.cpp(210)" when the channel cannot carry raw bytes.
    void watch();
    // Hands out at most `maxLines` lines: those already read first, then what the pipe has,
    // reading at most `maxBytes` from it. Lines left over are handed out by the backlog
    // source. Returns false when a callback stopped, restarted or destroyed the Process
    // meanwhile; this reader must not be touched then.
    bool drain(std::uint32_t maxLines, std::uint64_t maxBytes);
    void release();

    Impl& owner;
    LineBufferCallback lineBufferCallback;
    Slot slot;
    LineBuffer lineBuffer;
    Channel channel;
    GPollFD pollFd{};
    Source inWatch;
    Source hupWatch;
    // Runs while lines already read wait to be handed out.
    Source backlog;
    // The pipe's end was read: nothing more will come.
    bool ended = false;
    // Set while drain delivers lines: a callback may run a main loop of its own, in which the
    // watches of this pipe must not read into the buffer that is being split.
    bool draining = false;
  };

  Impl();
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void stop();
  void release_pipes();
  void finish_exit();

  Callback* callback = nullptr;
  GPid child{};
  bool running = false;
  Source childWatch;
  Channel input;
  ChannelReader output;
  ChannelReader errors;
  // Counts the releases of the pipes, so that a loop notices when a callback stopped, restarted
  // or destroyed the Process under it.
  std::uint64_t generation = 0;
  // The child has exited and its exit waits for a running drain to end.
  bool exitPending = false;
  int exitStatus = 0;
  // Watch callbacks of this object that are running (more than one in nested main loops).
  int dispatching = 0;
  // The Process is gone; the last running watch callback frees this object.
  bool orphaned = false;
};

namespace {

// Every Impl that exists, for deliver_written_lines; used on the main loop's thread only.
std::vector<Process::Impl*>& live_impls() {
  static std::vector<Process::Impl*> impls;
  return impls;
}

bool is_live(const Process::Impl* impl) {
  const std::vector<Process::Impl*>& impls = live_impls();
  return std::find(impls.begin(), impls.end(), impl) != impls.end();
}

} // namespace

Process::Impl::Impl()
    : output(*this, &Callback::on_stdout_line), errors(*this, &Callback::on_stderr_line) {
  live_impls().push_back(this);
}

Process::Impl::~Impl() {
  std::vector<Impl*>& impls = live_impls();
  impls.erase(std::remove(impls.begin(), impls.end(), this), impls.end());
}

namespace {

// Marks a watch callback running on `impl` and frees an orphaned Impl when the last one ends.
class Dispatch {
public:
  explicit Dispatch(Process::Impl& impl) : impl(impl) { ++impl.dispatching; }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;
  ~Dispatch() {
    if (--impl.dispatching == 0 && impl.orphaned)
      delete &impl;
  }

private:
  Process::Impl& impl;
};

// Children ended by stop whose exit the main loop has not reaped yet.
int abandoned = 0;

void on_exit_default(GPid child, gint waitStatus, gpointer) {
  --abandoned;
  try {
    debug_log() << "Process.cpp(327): "
                << "on_exit_default: " << reinterpret_cast<void*>(static_cast<std::intptr_t>(child))
                << ", status: " << platform::exit_status(waitStatus) << "\n";
  } catch (...) {
  }
  g_spawn_close_pid(child);
}

} // namespace

void Process::Impl::ChannelReader::LineBufferCallback::line(char* text) {
  Impl& impl = reader.owner;
  if (impl.callback == nullptr)
    return;
  // One failing line must not cost the lines after it.
  Process::Callback& callback = *impl.callback;
  const auto slot = reader.slot;
  guarded("Process.cpp(280)", "Process.cpp(280)",
          [&callback, slot, text] { (callback.*slot)(text); });
}

void Process::Impl::ChannelReader::watch() {
  if (g_io_channel_set_encoding(channel.get(), nullptr, nullptr) != G_IO_STATUS_NORMAL)
    throw std::runtime_error("Process.cpp(210)");
  g_io_channel_set_buffered(channel.get(), FALSE);
  // The pipe is only read when poll finds it readable; non-blocking as a second guard.
  g_io_channel_set_flags(channel.get(), G_IO_FLAG_NONBLOCK, nullptr);
  platform::io_channel_make_pollfd(channel.get(), G_IO_IN, &pollFd);
  inWatch.reset(
      g_io_add_watch_full(channel.get(), pipe_priority, G_IO_IN, on_readable, this, nullptr));
  hupWatch.reset(
      g_io_add_watch_full(channel.get(), pipe_priority, G_IO_HUP, on_hangup, this, nullptr));
}

bool Process::Impl::ChannelReader::drain(std::uint32_t maxLines, std::uint64_t maxBytes) {
  if (!channel || draining)
    return true;
  Impl& impl = owner;
  const std::uint64_t generation = impl.generation;
  draining = true;
  std::uint32_t delivered = 0;
  std::uint64_t read = 0;
  try {
    for (;;) {
      delivered += lineBuffer.deliver(maxLines - delivered);
      if (impl.generation != generation)
        return false;
      if (delivered >= maxLines || read >= maxBytes || ended || g_poll(&pollFd, 1, 0) <= 0)
        break;
      gsize count = 0;
      GError* error = nullptr;
      const GIOStatus status = g_io_channel_read_chars(channel.get(), lineBuffer.free_begin(),
                                                       lineBuffer.free_space(), &count, &error);
      if (status == G_IO_STATUS_ERROR) {
        debug_log() << "Process.cpp(248): " << (error != nullptr ? error->message : "") << "\n";
        if (error != nullptr)
          g_error_free(error);
      } else if (status != G_IO_STATUS_NORMAL && status != G_IO_STATUS_EOF &&
                 status != G_IO_STATUS_AGAIN) {
        debug_log() << "Process.cpp(252): " << status << "\n";
      }
      if (status == G_IO_STATUS_EOF)
        ended = true;
      if (count == 0)
        break;
      lineBuffer.append(static_cast<std::uint32_t>(count));
      read += count;
    }
  } catch (...) {
    if (impl.generation == generation)
      draining = false;
    throw;
  }
  draining = false;
  if (ended && !lineBuffer.has_line()) {
    // Nothing more can come; an unfinished last line is dropped.
    release();
  } else if (channel) {
    // Watches that a nested main loop's dispatch removed watch again.
    if (!inWatch)
      inWatch.reset(
          g_io_add_watch_full(channel.get(), pipe_priority, G_IO_IN, on_readable, this, nullptr));
    if (!hupWatch)
      hupWatch.reset(
          g_io_add_watch_full(channel.get(), pipe_priority, G_IO_HUP, on_hangup, this, nullptr));
    if (!lineBuffer.has_line())
      backlog.reset();
    else if (!backlog)
      backlog.reset(g_idle_add_full(pipe_priority, on_backlog, this, nullptr));
  }
  if (impl.exitPending && !impl.output.draining && !impl.errors.draining)
    impl.finish_exit();
  return impl.generation == generation;
}

void Process::Impl::ChannelReader::release() {
  inWatch.reset();
  hupWatch.reset();
  backlog.reset();
  channel.reset();
  draining = false;
  ended = false;
  lineBuffer.clear();
}

void Process::Impl::release_pipes() {
  ++generation;
  exitPending = false;
  input.reset();
  output.release();
  errors.release();
}

void Process::Impl::stop() {
  childWatch.reset();
  if (running) {
    // The abandoned child is still reaped, and its end logged, when it exits. A child that
    // cannot be killed any more has ended and been reaped already; watching it again would
    // only make GLib complain.
    if (platform::terminate_process(child)) {
      ++abandoned;
      g_child_watch_add(child, on_exit_default, nullptr);
    } else
      debug_log() << "Process.cpp(79): " << last_error_text() << "\n";
    running = false;
    child = GPid{};
  }
  release_pipes();
}

// Hands out the child's last lines, standard output first, releases everything and only then
// reports the exit, so that on_exit may start this Process again.
void Process::Impl::finish_exit() {
  exitPending = false;
  const int status = exitStatus;
  constexpr std::uint32_t all = std::numeric_limits<std::uint32_t>::max();
  if (!output.drain(all, exit_drain_limit) || !errors.drain(all, exit_drain_limit))
    return;
  release_pipes();
  if (callback != nullptr)
    callback->on_exit(status);
}

namespace {

gboolean on_readable(GIOChannel*, GIOCondition, gpointer data) {
  auto& reader = *static_cast<Process::Impl::ChannelReader*>(data);
  Dispatch dispatch(reader.owner);
  guarded("Process.cpp(270)", "Process.cpp(270)", [&] {
    if (!reader.channel)
      throw std::runtime_error("Process.cpp(229)");
    if (reader.draining) {
      // A callback of the running drain runs a main loop; the drain watches again when done.
      reader.inWatch.reset();
      return;
    }
    reader.drain(lines_per_dispatch, line_capacity);
  });
  return TRUE;
}

// The writer closed the pipe: what it wrote before is still to be read, a dispatch at a time,
// until its end is read; this watch comes again meanwhile.
gboolean on_hangup(GIOChannel*, GIOCondition, gpointer data) {
  auto& reader = *static_cast<Process::Impl::ChannelReader*>(data);
  Dispatch dispatch(reader.owner);
  guarded("Process.cpp(270)", "Process.cpp(270)", [&] {
    if (reader.draining) {
      reader.hupWatch.reset();
      return;
    }
    reader.drain(lines_per_dispatch, line_capacity);
  });
  return TRUE;
}

gboolean on_backlog(gpointer data) {
  auto& reader = *static_cast<Process::Impl::ChannelReader*>(data);
  Dispatch dispatch(reader.owner);
  // This source ends here; a drain that leaves lines over makes a new one.
  reader.backlog.forget();
  guarded("Process.cpp(270)", "Process.cpp(270)", [&] {
    if (!reader.draining)
      reader.drain(lines_per_dispatch, line_capacity);
  });
  return FALSE;
}

void on_child_exit(GPid child, gint waitStatus, gpointer data) {
  auto& impl = *static_cast<Process::Impl*>(data);
  Dispatch dispatch(impl);
  guarded("Process.cpp(270)", "Process.cpp(270)", [&] {
    g_spawn_close_pid(child);
    impl.running = false;
    impl.child = GPid{};
    impl.childWatch.reset();
    impl.exitStatus = platform::exit_status(waitStatus);
    impl.exitPending = true;
    if (!impl.output.draining && !impl.errors.draining)
      impl.finish_exit();
  });
}

} // namespace

void Process::Callback::on_stdout_line(char* line) {
  debug_log() << "Process.cpp(390): " << line << "\n";
}

void Process::Callback::on_stderr_line(char* line) {
  debug_log() << "Process.cpp(395): " << line << "\n";
}

void Process::Callback::on_exit(int status) {
  debug_log() << "Process.cpp(400): " << status << "\n";
}

Process::Callback::~Callback() = default;

Process::Process() : impl(new Impl) {}

Process::~Process() {
  impl->stop();
  impl->callback = nullptr;
  if (impl->dispatching > 0)
    impl->orphaned = true;
  else
    delete impl;
}

void Process::set_callback(Callback* callback) { impl->callback = callback; }

bool Process::start(char** argv) {
  impl->stop();
  platform::ignore_broken_pipe();

  GPid child{};
  gint in = -1, out = -1, err = -1;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                                &child, &in, &out, &err, &error)) {
    debug_log() << "Process.cpp(58): " << (error != nullptr ? error->message : "") << "\n";
    if (error != nullptr)
      g_error_free(error);
    return false;
  }
  impl->child = child;
  impl->running = true;
  impl->childWatch.reset(g_child_watch_add(child, on_child_exit, impl));

  // Every descriptor gets its owner before anything can throw.
  impl->input.reset(new_pipe_channel(in));
  impl->output.channel.reset(new_pipe_channel(out));
  impl->errors.channel.reset(new_pipe_channel(err));

  if (g_io_channel_set_encoding(impl->input.get(), nullptr, nullptr) != G_IO_STATUS_NORMAL)
    throw std::runtime_error("Process.cpp(115)");
  // Standard input keeps GLib's buffering; write flushes.
  impl->output.watch();
  impl->errors.watch();
  return true;
}

bool Process::write(const char* text) {
  if (!impl->input)
    throw std::runtime_error("Process.cpp(120)");
  GIOChannel* input = impl->input.get();
  GError* error = nullptr;
  gsize written = 0;
  GIOStatus status = g_io_channel_write_chars(input, text, static_cast<gssize>(std::strlen(text)),
                                              &written, &error);
  if (status == G_IO_STATUS_ERROR) {
    debug_log() << "Process.cpp(128): " << (error != nullptr ? error->message : "") << "\n";
    if (error != nullptr)
      g_error_free(error);
    return false;
  }
  if (status != G_IO_STATUS_NORMAL) {
    debug_log() << "Process.cpp(131): " << status << "\n";
    return false;
  }
  status = g_io_channel_flush(input, &error);
  if (status == G_IO_STATUS_ERROR) {
    debug_log() << "Process.cpp(138): " << (error != nullptr ? error->message : "") << "\n";
    if (error != nullptr)
      g_error_free(error);
    return false;
  }
  if (status != G_IO_STATUS_NORMAL) {
    debug_log() << "Process.cpp(141): " << status << "\n";
    return false;
  }
  return true;
}

void Process::stop() { impl->stop(); }

void Process::deliver_written_lines(int limitMs) {
  const gint64 deadline = g_get_monotonic_time() + gint64{limitMs} * 1000;
  for (bool more = true; more && g_get_monotonic_time() < deadline;) {
    more = false;
    // A callback may end, start or destroy any Process: each is looked up again before use.
    const std::vector<Impl*> impls = live_impls();
    for (Impl* impl : impls) {
      for (Impl::ChannelReader* reader : {&impl->output, &impl->errors}) {
        if (!is_live(impl) || !reader->channel || reader->draining)
          continue;
        if (!reader->lineBuffer.has_line() && g_poll(&reader->pollFd, 1, 0) <= 0)
          continue;
        more = true;
        Dispatch dispatch(*impl);
        guarded("Process.cpp(470)", "Process.cpp(470)",
                [&] { reader->drain(lines_per_dispatch, line_capacity); });
      }
    }
  }
}

int Process::abandoned_children() { return abandoned; }

bool Process::reap_abandoned_children(int limitMs) {
  const gint64 deadline = g_get_monotonic_time() + gint64{limitMs} * 1000;
  while (abandoned > 0 && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE))
      g_usleep(1000);
  }
  return abandoned <= 0;
}

bool Process::terminate() {
  if (!platform::terminate_process(impl->running ? impl->child : GPid{})) {
    debug_log() << "Process.cpp(79): " << last_error_text() << "\n";
    return false;
  }
  return true;
}
