#include "app/DebugSinks.h"

#include "Crt.h"
#include "DebugLog.h"
#include "FloodGate.h"
#include "GuardedFile.h"
#include "LineRing.h"
#include "StreambufNull.h"

#include <cstring>
#include <iostream>
#include <streambuf>

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

// The debug file: each piece the gate hands on is written at once, so that it survives a crash
// of the program.
class FileBuffer : public std::streambuf {
public:
  FileBuffer() = default;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;
  ~FileBuffer() override { close(); }

  // Opens the file `path` for writing, emptied: a guarded one, whose way no other user may
  // change, and only a regular file (see GuardedFile::open_for_writing). False when it cannot.
  bool open(const std::string& path) {
    close();
    fd = GuardedFile::guarded(path, Trust::Operator).open_for_writing();
    return fd != -1;
  }
  void close() {
    if (fd != -1)
      _close(fd);
    fd = -1;
  }

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return put(&byte, 1) ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return put(text, static_cast<std::size_t>(count)) ? count : 0;
  }

private:
  bool put(const char* text, std::size_t count) {
    while (fd != -1 && count > 0) {
      const int written = _write(fd, text, static_cast<unsigned int>(count));
      if (written <= 0)
        return false;
      text += written;
      count -= static_cast<std::size_t>(written);
    }
    return fd != -1;
  }

  int fd = -1;
};

FileBuffer& file() {
  static FileBuffer buffer;
  return buffer;
}

// The gate is made after the file, so that it is destroyed first and can write its last note.
std::ostream& file_sink() {
  static FloodGate gate(&file(), flood_burst, flood_rate);
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
    if (!file().open(chosen)) {
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
