// A stream buffer that passes whole lines on to another one (a debug log file, standard
// error), but not a flood of them: a child that writes its standard error without pause must
// not fill the disk.
//
// Lines pass while they fit into a budget of `burst` bytes, which refills at `rate` bytes per
// second; a line that does not fit is dropped. The next line that passes is preceded by one line
// that says how many lines were dropped and their bytes, and so is the end of the gate when the
// flood lasted to the end. Every line that passes is flushed at once, so that it survives a crash
// of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <string>

class FloodGate : public std::streambuf {
public:
  // Microseconds of a monotonic clock.
  using Clock = std::function<std::int64_t()>;

  // `target` is not owned and must outlive the gate. The budget starts full.
  FloodGate(std::streambuf* target, std::size_t burst, std::size_t rate,
            Clock clock = steady_microseconds);
  // Writes the note of lines dropped and not yet told, and the unfinished line.
  ~FloodGate() override;
  FloodGate(const FloodGate&) = delete;
  FloodGate& operator=(const FloodGate&) = delete;

  static std::int64_t steady_microseconds();

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
  void add(const char* text, std::size_t count);
  void end_line();
  void put(const std::string& text);
  void tell_dropped();

  std::streambuf* target;
  double burst;
  double rate;
  Clock clock;
  double budget;
  std::int64_t refilled;
  std::string current; // the line being written, its line end not yet seen
  std::uint64_t droppedLines = 0;
  std::uint64_t droppedBytes = 0;
};
