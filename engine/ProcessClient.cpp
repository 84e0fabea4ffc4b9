#include "ProcessClient.h"

#include "Operation.h"

#include "Crt.h"
#include "DebugLog.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace {

// Standard input is read in blocks: a line of megabytes takes a few calls, not one per byte.
constexpr unsigned block_size = 65536;

// Shared with the reader thread. The thread stores what its one read delivered in `block` and
// `blockLength` (0 at the end of input or on a read error), then lowers readerRunning, then
// raises inputPending with release; the main thread reads inputPending with acquire before it
// looks at the others, so by then it sees all of the thread's earlier stores.
unsigned char block[block_size];
std::atomic<unsigned> blockLength{0};
std::atomic<bool> inputPending{false};
std::atomic<bool> readerRunning{false};

// The main thread's own: bytes read and not yet taken as lines, whether input has ended, and
// whether a reader thread was started since the last line was taken.
std::string unread;
bool inputEnded = false;
bool readerStarted = false;

void stdin_reader_thread(void*) {
  const int n = _read(0, block, block_size);
  blockLength.store(n > 0 ? static_cast<unsigned>(n) : 0, std::memory_order_relaxed);
  readerRunning.store(false, std::memory_order_release);
  inputPending.store(true, std::memory_order_release);
  inputPending.notify_all();
}

// Takes what the reader thread delivered.
void take_block() {
  const unsigned n = blockLength.load(std::memory_order_relaxed);
  if (n == 0)
    inputEnded = true;
  unread.append(reinterpret_cast<const char*>(block), n);
  blockLength.store(0, std::memory_order_relaxed);
}

bool pending() { return inputPending.load(std::memory_order_acquire); }

// A line from the client as a command; a blank line has no members. Throws as read_command
// does.
config::Value parse_command(const std::string& line) {
  config::Value command(config::Value::Object);
  if (line.empty())
    return command;
  if (!command.parse(line.c_str()))
    throw std::runtime_error("IO.cpp(15)");
  if (command.has("command") && command.get("command").as_string() == "interrupt")
    throw Operation::InterruptedException();
  return command;
}

} // namespace

std::unique_ptr<ProcessClient> process_client_open() {
  auto client = std::make_unique<ProcessClient>();
  start_stdin_reader();
  return client;
}

void start_stdin_reader() {
  if (readerRunning.load(std::memory_order_acquire))
    return;
  if (!unread.empty() || inputEnded) {
    // The next line, or the end of input, is here already.
    inputPending.store(true, std::memory_order_release);
    return;
  }
  readerRunning.store(true, std::memory_order_relaxed);
  inputPending.store(false, std::memory_order_relaxed);
  blockLength.store(0, std::memory_order_relaxed);
  readerStarted = true;
  if (_beginthread(stdin_reader_thread, 0, nullptr) == static_cast<std::uintptr_t>(-1)) {
    const int error = errno;
    readerRunning.store(false, std::memory_order_relaxed);
    readerStarted = false;
    debug_log() << "ProcessClient.cpp(52): cannot start the reader of standard input: "
                << std::strerror(error) << "\n";
    throw std::runtime_error("ProcessClient.cpp(53)");
  }
}

std::string read_line(ProcessClient&) {
  // Blocks until the reader raises the flag: polling it every millisecond would cost an idle
  // engine more than a percent of a core.
  inputPending.wait(false, std::memory_order_acquire);
  if (readerStarted) {
    take_block();
    readerStarted = false;
  }
  std::string line;
  if (unread.empty()) {
    line += '\0'; // the end of input reads as a line that is not a message
  } else {
    // A blank line is a line of its own: its line feed ends it, so that it pauses a running
    // pass or answers a waiting reply at once instead of joining the line after it.
    std::size_t end = unread.find('\n');
    while (end == std::string::npos && !inputEnded) {
      static unsigned char more[block_size];
      const int n = _read(0, more, block_size);
      if (n <= 0) {
        inputEnded = true;
        break;
      }
      const std::size_t searched = unread.size();
      unread.append(reinterpret_cast<const char*>(more), static_cast<std::size_t>(n));
      end = unread.find('\n', searched);
    }
    if (end == std::string::npos) {
      line.swap(unread);
    } else {
      line.assign(unread, 0, end);
      unread.erase(0, end + 1);
    }
  }
  start_stdin_reader();
  return line;
}

void write_line(ProcessClient&, const std::string& text) {
  std::cout << text << '\n';
  std::cout.flush();
  if (!std::cout.good())
    throw std::runtime_error("../ProcessClient.cpp(255)");
}

bool has_input(ProcessClient&) { return pending(); }

void write_value(ProcessClient& client, const config::Value& message) {
  write_line(client, message.to_string(config::Braces::Omitted, config::Layout::OneLine));
}

config::Value read_command(ProcessClient& client) { return parse_command(read_line(client)); }

config::Value reply_and_read_command(ProcessClient& client, const config::Value& reply) {
  write_value(client, reply);
  return read_command(client);
}

config::Value reply_ready_and_read_command(ProcessClient& client) {
  config::Value ready(config::Value::Object);
  ready.set("status", "ready");
  write_value(client, ready);
  std::string line;
  do
    line = read_line(client);
  while (line.empty());
  return parse_command(line);
}

void reply_init_failed(ProcessClient& client) {
  config::Value reply(config::Value::Object);
  reply.set("status", "error");
  reply.set("message", "init failed");
  reply_and_read_command(client, reply);
}

void reply_wrong_device(ProcessClient& client) {
  config::Value reply(config::Value::Object);
  reply.set("status", "error");
  reply.set("message", "wrong device");
  reply_and_read_command(client, reply);
}

void check_pause(ProcessClient& client) {
  if (!pending())
    return;
  read_command(client);
  config::Value message(config::Value::Object);
  message.set("status", "paused");
  reply_and_read_command(client, message);
  message.set("status", "resumed");
  write_value(client, message);
}
