// A small client of the engine: starts cvwdrv with pipes on its standard input and output and
// talks to it line by line, as the desktop program does. Tests, the run command and the
// benchmark drive the real engine binary through it.
#pragma once

#include "ConfigValue.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _GSubprocess GSubprocess;

class EngineClient {
public:
  // Whether the program may set up io_uring; Refused makes the kernel refuse it to the program
  // alone (EPERM), as a seccomp filter of a container does.
  enum class Ring { Allowed, Refused };

  // Starts `program` with `arguments`; its standard error goes to the file `errorFile`. With a
  // `fileSizeLimit`, no write of the program reaches that byte offset of any file: a write across
  // it comes up short and a write at or past it fails, which injects write failures at a known
  // place of an image. Throws std::runtime_error when the program cannot be started.
  EngineClient(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& errorFile, std::uint64_t fileSizeLimit = 0,
               Ring ring = Ring::Allowed);
  ~EngineClient();
  EngineClient(const EngineClient&) = delete;
  EngineClient& operator=(const EngineClient&) = delete;

  // Sends `text` and a line feed. Returns false when the engine no longer reads.
  bool send(const std::string& text);
  // Sends the bytes as they are.
  bool send_raw(const std::string& bytes);

  // The engine's next line without its line feed. False at the end of its output, or when no
  // line has come within `seconds`.
  bool receive(std::string& line, int seconds = 120);

  void close_input();
  void close_output();

  // Waits for the engine to end, at most `seconds` before it is killed. Returns its exit code
  // (255 for -1), or 1000 plus the signal number when a signal ended it.
  int wait(int seconds = 120);

  // Every line sent ("> ") and received ("< "), in order.
  const std::vector<std::string>& transcript() const { return lines; }

  std::string pid() const;

private:
  GSubprocess* process = nullptr;
  int input = -1;
  int output = -1;
  bool inputOpen = true;
  bool outputOpen = true;
  std::string pending;
  std::vector<std::string> lines;
};

// The status of an engine message line, empty when the line does not parse.
std::string status_of(const std::string& line);

// What the engine answered to one command.
struct Exchange {
  std::vector<std::string> replies; // every line after the command, the final "ready" included
  bool ready = false;               // the engine came back to "ready"
};

// The answer to one waiting message: "response":"ok" unless the script says otherwise.
using Answer = std::function<std::string(const config::Value& message)>;

// Sends `command` (and right after it the lines of `during`, such as a pause request), then
// answers every message after which the engine waits ("error", "done", "paused") until the
// engine reports "ready" again, ends its output, or stays silent for two minutes.
Exchange converse(EngineClient& engine, const std::string& command, const Answer& answer = {},
                  const std::vector<std::string>& during = {});
