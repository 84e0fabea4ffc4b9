// cvw_fake_engine: plays a script in place of the wipe engine. The script format and how tests
// use it are in FakeEngine.h.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int script_fault = 3;

struct Instruction {
  int line;         // in the script file, from 1
  std::string verb; // "send", "expect", ...
  std::string rest; // everything after the verb and one blank
};

// This engine's part of the script: the parts are separated by "---" lines.
std::vector<Instruction> load_part(const std::string& path, int run) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    std::fprintf(stderr, "fake engine: no script %s\n", path.c_str());
    std::exit(2);
  }
  std::vector<std::vector<Instruction>> parts(1);
  std::string text;
  for (int number = 1; std::getline(stream, text); ++number) {
    if (text == "---") {
      parts.emplace_back();
      continue;
    }
    if (text.empty() || text[0] == '#')
      continue;
    const std::size_t blank = text.find(' ');
    parts.back().push_back(
        {number, text.substr(0, blank), blank == std::string::npos ? "" : text.substr(blank + 1)});
  }
  return parts[std::min<std::size_t>(run - 1, parts.size() - 1)];
}

// Appends this process's id to the list; its position there is the number of this run.
int register_run(const std::string& script) {
  const std::string list = script + ".pids";
  const int fd = open(list.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  const std::string entry = std::to_string(getpid()) + "\n";
  if (fd < 0 || write(fd, entry.data(), entry.size()) != static_cast<ssize_t>(entry.size()))
    std::exit(2);
  close(fd);
  std::ifstream stream(list);
  int run = 0;
  for (long id; stream >> id;) {
    ++run;
    if (id == getpid())
      return run;
  }
  std::exit(2);
}

class Engine {
public:
  // `files` is the start of the names of this run's files: "<script>.<k>".
  explicit Engine(const std::string& files)
      : files(files), inputLog(files + ".in", std::ios::binary) {}

  void play(const std::vector<Instruction>& part) {
    for (const Instruction& step : part) {
      where = step.line;
      if (step.verb == "send") {
        put(1, with_time(step.rest));
      } else if (step.verb == "expect") {
        std::string line;
        if (!read_line(line))
          fault("expected " + step.rest + ", got the end of input");
        if (!step.rest.empty() && line != step.rest)
          fault("expected " + step.rest + ", got " + line);
      } else if (step.verb == "stderr") {
        put(2, step.rest);
      } else if (step.verb == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(step.rest.c_str())));
      } else if (step.verb == "updates") {
        updates(step.rest);
      } else if (step.verb == "touch") {
        std::ofstream(files + "." + step.rest);
      } else if (step.verb == "exit") {
        std::exit(std::atoi(step.rest.c_str()));
      } else {
        fault("unknown instruction " + step.verb);
      }
    }
    std::string line;
    if (read_line(line))
      fault("unexpected line " + line);
    std::exit(0);
  }

private:
  [[noreturn]] void fault(const std::string& text) {
    const std::string note = "fake engine: script line " + std::to_string(where) + ": " + text;
    put(2, note);
    std::exit(script_fault);
  }

  // Writes the text and a line feed in full.
  void put(int fd, const std::string& text) {
    const std::string line = text + "\n";
    for (std::size_t done = 0; done < line.size();) {
      const ssize_t n = write(fd, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        std::exit(2);
      done += static_cast<std::size_t>(n);
    }
  }

  // One line of standard input without its line feed, read a byte at a time so that what
  // follows it stays in the pipe. False at the end of input before any byte.
  bool read_line(std::string& line) {
    line.clear();
    for (;;) {
      char c;
      const ssize_t n = read(0, &c, 1);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return !line.empty();
      inputLog.put(c).flush();
      if (c == '\n')
        return true;
      line += c;
    }
  }

  // The text with "%t" replaced by the monotonic clock in microseconds, the clock of
  // g_get_monotonic_time in every process.
  static std::string with_time(std::string text) {
    const std::size_t at = text.find("%t");
    if (at == std::string::npos)
      return text;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    text.replace(at, 2, std::to_string(now.tv_sec * 1000000LL + now.tv_nsec / 1000));
    return text;
  }

  bool line_waiting() {
    pollfd input{0, POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
  }

  // "N MS TEXT"
  void updates(const std::string& arguments) {
    std::istringstream fields(arguments);
    long count = 0, pause = 0;
    fields >> count >> pause;
    fields.get();
    std::string text;
    std::getline(fields, text);
    for (long n = 1; n <= count; ++n) {
      if (line_waiting()) {
        std::string line;
        if (!read_line(line))
          std::exit(0);
        put(1, "\"status\":\"paused\"");
        if (!read_line(line))
          fault("paused, got the end of input");
        put(1, "\"status\":\"resumed\"");
      }
      std::string update = text;
      for (std::size_t at = update.find("%n"); at != std::string::npos;
           at = update.find("%n", at)) {
        const std::string number = std::to_string(n);
        update.replace(at, 2, number);
        at += number.size();
      }
      put(1, update);
      if (pause > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
  }

  std::string files;
  std::ofstream inputLog;
  int where = 0;
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "command=interactive") != 0) {
    std::fprintf(stderr, "fake engine: wants the one argument command=interactive\n");
    return 2;
  }
  const char* script = std::getenv("CVW_FAKE_ENGINE_SCRIPT");
  if (script == nullptr) {
    std::fprintf(stderr, "fake engine: CVW_FAKE_ENGINE_SCRIPT is not set\n");
    return 2;
  }
  const int run = register_run(script);
  Engine engine(std::string(script) + "." + std::to_string(run));
  engine.play(load_part(script, run));
}
