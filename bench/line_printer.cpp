// The child of the process benchmark: prints COUNT numbered lines of LENGTH bytes each (line
// end included) on standard output as fast as it can, then exits.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3)
    return 2;
  const long count = std::atol(argv[1]);
  const std::size_t length = std::strtoul(argv[2], nullptr, 10);
  std::string line;
  for (long n = 0; n < count; ++n) {
    line = std::to_string(n);
    line.resize(length - 1, '.');
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
