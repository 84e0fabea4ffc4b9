// The child program of the Process tests. It works through its arguments in order:
//   out=TEXT      writes TEXT to standard output (no line end added) and flushes
//   err=TEXT      the same on standard error
//   lines=N:LEN   writes N numbered lines of LEN characters each, line end included
//   fill=N        writes N letters y without a line end
//   flood=MS:LEN  writes numbered lines of LEN characters (line end included) without pause,
//                 for MS milliseconds
//   echo          answers every line read from standard input with "echo:" and the line, until
//                 the line "quit" or the end of the input
//   closein       closes standard input
//   sleep=MS      waits MS milliseconds
//   wait          waits for the end of standard input
//   exit=N        ends with exit code N
//   signal=N      raises signal N
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

namespace {

void put(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
    if (name == "out") {
      put(stdout, value);
    } else if (name == "err") {
      put(stderr, value);
    } else if (name == "lines") {
      const long count = std::atol(value.c_str());
      const std::size_t length = std::strtoul(value.c_str() + value.find(':') + 1, nullptr, 10);
      std::string text;
      for (long n = 0; n < count; ++n) {
        std::string line = std::to_string(n);
        line.resize(length - 1, '.');
        text += line + "\n";
        if (text.size() > 60000) {
          put(stdout, text);
          text.clear();
        }
      }
      put(stdout, text);
    } else if (name == "flood") {
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atol(value.c_str()));
      const std::size_t length = std::strtoul(value.c_str() + value.find(':') + 1, nullptr, 10);
      std::string text;
      for (long n = 0; std::chrono::steady_clock::now() < until;) {
        for (const long end = n + 1000; n < end; ++n) {
          std::string line = std::to_string(n);
          line.resize(length - 1, '.');
          text += line + "\n";
        }
        put(stdout, text);
        text.clear();
      }
    } else if (name == "fill") {
      put(stdout, std::string(std::strtoul(value.c_str(), nullptr, 10), 'y'));
    } else if (name == "echo") {
      std::string line;
      while (std::getline(std::cin, line) && line != "quit")
        put(stdout, "echo:" + line + "\n");
    } else if (name == "closein") {
      std::fclose(stdin);
    } else if (name == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(value.c_str())));
    } else if (name == "wait") {
      while (std::getchar() != EOF) {
      }
    } else if (name == "exit") {
      std::exit(std::atoi(value.c_str()));
    } else if (name == "signal") {
      std::raise(std::atoi(value.c_str()));
    } else {
      put(stderr, "unknown argument " + arg + "\n");
      return 2;
    }
  }
  return 0;
}
