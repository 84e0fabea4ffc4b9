#include "app/DebugSinks.h"

#include "DebugLog.h"
#include "FloodGate.h"
#include "LineRing.h"
#include "StreambufNull.h"

#include <cstring>
#include <fstream>
#include <iostream>

namespace {

// The in-memory log keeps its newest lines, so that a long session, or a child that floods
// its standard error, cannot grow the program without bound.
constexpr std::size_t memory_capacity = 8 << 20;
// A file or the console takes bursts of 4 MiB, and 64 KiB a second over time: an ordinary
// session stays far below, a flood is cut to that with a line saying what was dropped.
constexpr std::size_t flood_burst = 4 << 20;
constexpr std::size_t flood_rate = 64 << 10;

std::string& sink_name() {
  static std::string name;
  return name;
}

LineRing& memory_ring() {
  static LineRing ring(memory_capacity);
  return ring;
}

std::ostream& memory_sink() {
  static std::ostream stream(&memory_ring());
  return stream;
}

std::ostream& null_sink() {
  static StreambufNull<> buffer;
  static std::ostream stream(&buffer);
  return stream;
}

std::ofstream& file() {
  static std::ofstream stream;
  return stream;
}

// The gate is made after the file, so that it is destroyed first and can write its last note.
std::ostream& file_sink() {
  std::ofstream& target = file();
  static FloodGate gate(target.rdbuf(), flood_burst, flood_rate);
  static std::ostream stream(&gate);
  return stream;
}

std::ostream& console_sink() {
  static FloodGate gate(std::cerr.rdbuf(), flood_burst, flood_rate);
  static std::ostream stream(&gate);
  return stream;
}

} // namespace

void open_debug_console() { set_debug_log(console_sink()); }

void choose_debug_sink(int argc, char** argv) {
  const char* chosen = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr && std::strncmp(argv[i], "dbg=", 4) == 0)
      chosen = argv[i] + 4;
  }
  if (chosen == nullptr || std::strcmp(chosen, "ostringstream") == 0) {
    set_debug_log(memory_sink());
    sink_name() = "ostringstream";
  } else if (std::strcmp(chosen, "null") == 0) {
    set_debug_log(null_sink());
    sink_name() = "null";
  } else if (std::strcmp(chosen, "stderr") == 0) {
    open_debug_console();
    sink_name() = "stderr";
  } else {
    std::ofstream& stream = file();
    if (stream.is_open())
      stream.close();
    stream.clear();
    stream.open(chosen, std::ios::out | std::ios::trunc);
    if (stream.bad() || stream.fail()) {
      open_debug_console();
      sink_name() = "stderr";
    } else {
      // The gate hands every line to the file at once, so that it survives a crash of the
      // program.
      set_debug_log(file_sink());
      sink_name() = "ofstream";
    }
  }
}

const std::string& debug_sink_name() { return sink_name(); }

std::string debug_log_text() { return memory_ring().text(); }
