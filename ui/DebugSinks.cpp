#include "DebugSinks.h"

#include "DebugLog.h"
#include "StreambufNull.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string& sink_name() {
  static std::string name;
  return name;
}

std::ostringstream& memory_sink() {
  static std::ostringstream stream;
  return stream;
}

std::ostream& null_sink() {
  static StreambufNull<> buffer;
  static std::ostream stream(&buffer);
  return stream;
}

std::ofstream& file_sink() {
  static std::ofstream stream;
  return stream;
}

} // namespace

void open_debug_console() { set_debug_log(std::cerr); }

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
    std::ofstream& file = file_sink();
    if (file.is_open())
      file.close();
    file.clear();
    file.open(chosen, std::ios::out | std::ios::trunc);
    if (file.bad() || file.fail()) {
      open_debug_console();
      sink_name() = "stderr";
    } else {
      // Every line reaches the file at once, so that it survives a crash of the program.
      file.setf(std::ios::unitbuf);
      set_debug_log(file);
      sink_name() = "ofstream";
    }
  }
}

const std::string& debug_sink_name() { return sink_name(); }

std::string debug_log_text() { return memory_sink().str(); }
