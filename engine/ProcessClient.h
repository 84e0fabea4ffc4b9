// The engine's conversation with the program that started it: commands and answers come in on
// standard input, replies go out on standard output, one config::Value per line.
//
// A short-lived reader thread waits for the first byte of each incoming line and then raises a
// flag, so that an operation on the main thread can notice between two chunks, without
// blocking, that the client has sent something. The channel's state is process-wide: there is
// one channel per engine.
#pragma once

#include "ConfigValue.h"

#include <memory>
#include <string>

class ProcessClient {
public:
  ProcessClient() = default;
  ProcessClient(const ProcessClient&) = delete;
  ProcessClient& operator=(const ProcessClient&) = delete;
};

// Makes the channel and starts the reader of the first line. Throws std::runtime_error, with a
// debug-log line, when the reader thread cannot be started.
std::unique_ptr<ProcessClient> process_client_open();

// Starts a reader thread for the next line's first byte unless one is under way. Throws
// std::runtime_error, with a debug-log line, when the thread cannot be started: the engine
// would otherwise wait for a line that never comes.
void start_stdin_reader();

// The next line from standard input, without its line feed; a blank line is empty, and at the
// end of input the line is a single zero byte. Blocks until the line has begun.
std::string read_line(ProcessClient& client);

// Writes `text` and a line feed to standard output and flushes. Throws std::runtime_error when
// standard output no longer takes it.
void write_line(ProcessClient& client, const std::string& text);

// Whether a line from the client has begun and waits to be read.
bool has_input(ProcessClient& client);

// Sends one message (its members, compact, on one line) without waiting for the client.
void write_value(ProcessClient& client, const config::Value& message);

// The next line, parsed; a blank line has no members. Throws std::runtime_error for a line that
// does not parse (end of input included) and Operation::InterruptedException for the
// "interrupt" command.
config::Value read_command(ProcessClient& client);

// Sends `reply`, then waits for the client's next line and returns it parsed.
config::Value reply_and_read_command(ProcessClient& client, const config::Value& reply);

// Sends "ready" and waits for the client's next command. Blank lines before it are passed over,
// as the blanks before a value are. Throws as read_command does.
config::Value reply_ready_and_read_command(ProcessClient& client);

// Sends the error "init failed" (the device or the command cannot serve) and waits for the
// client's acknowledgement.
void reply_init_failed(ProcessClient& client);

// Sends the error "wrong device" (the device at the command's path is not the disk that its
// "identity" names, and nothing of it was touched) and waits for the client's acknowledgement.
void reply_wrong_device(ProcessClient& client);

// The pause point of running operations: when a line has begun, it is read, "paused" is sent,
// and the engine waits for the next line before it sends "resumed" and returns. Throws as
// read_command does.
void check_pause(ProcessClient& client);
