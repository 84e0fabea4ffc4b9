// Throughput of the child-process pipes: lines per second that a Process delivers from a child
// printing 10^6 short lines, and the line splitting of LineBuffer alone for 64-byte and
// 2 KiB lines, fed in pipe-sized chunks.
#include "BestOf.h"
#include "LineBuffer.h"
#include "Process.h"

#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

class Counter : public Process::Callback, public LineBuffer::Callback {
public:
  void on_stdout_line(char* text) override { line(text); }
  void on_stderr_line(char*) override {}
  void on_exit(int status) override {
    exitStatus = status;
    exited = true;
  }
  void line(char* text) override {
    ++lines;
    bytes += std::strlen(text) + 1;
  }

  long lines = 0;
  std::size_t bytes = 0;
  int exitStatus = -1;
  bool exited = false;
};

void child_lines(long count, int length) {
  Counter counter;
  Process process;
  process.set_callback(&counter);
  std::string program = CVW_LINE_PRINTER, countText = std::to_string(count),
              lengthText = std::to_string(length);
  char* argv[] = {program.data(), countText.data(), lengthText.data(), nullptr};
  const double seconds = best_of(3, [&] {
    counter = Counter();
    if (!process.start(argv)) {
      std::printf("  cannot start %s\n", program.c_str());
      return;
    }
    while (!counter.exited)
      g_main_context_iteration(nullptr, TRUE);
  });
  if (counter.lines != count || counter.exitStatus != 0) {
    std::printf("  child of %ld lines: got %ld lines, status %d\n", count, counter.lines,
                counter.exitStatus);
    return;
  }
  std::printf("  child, %ld lines of %3d bytes   %10.0f lines/s %8.1f MB/s\n", count, length,
              count / seconds, counter.bytes / seconds / 1e6);
}

void line_buffer(int length) {
  // A 4 MB stream of lines cut into pipe-sized chunks, as reads of a pipe deliver it; the copy
  // into the buffer stands for the read.
  constexpr std::size_t chunk = 65536;
  constexpr std::size_t total = 256u << 20;
  std::string line(length - 1, 'x');
  line += '\n';
  std::string data;
  while (data.size() < (4u << 20))
    data += line;
  Counter counter;
  LineBuffer buffer(&counter, 1024000);
  const double seconds = best_of(5, [&] {
    counter = Counter();
    std::size_t position = 0;
    for (std::size_t done = 0; done < total; done += chunk) {
      if (position + chunk > data.size())
        position = 0;
      std::memcpy(buffer.free_begin(), data.data() + position, chunk);
      buffer.commit(chunk);
      position += chunk;
    }
  });
  std::printf("  LineBuffer, %4d-byte lines       %10.0f lines/s %8.1f MB/s\n", length,
              counter.lines / seconds, total / seconds / 1e6);
}

} // namespace

int main() {
  std::printf("Process and LineBuffer (best of several runs)\n");
  child_lines(1000000, 16);
  child_lines(1000000, 64);
  line_buffer(64);
  line_buffer(2048);
  return 0;
}
