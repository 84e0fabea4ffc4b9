// The engine against the device's own limit, as fio drives it (io_uring, queue depth 32, direct,
// with transfers of the engine's size and of 1 MiB), on loop devices that this benchmark sets up
// and removes: one over a 1 GiB file in /dev/shm (memory behind it: the processor is the limit,
// as on a fast NVMe disk), one over a 1 GiB file on disk attached with direct input and output
// (the disk is the limit), and four over files in /dev/shm written at once.
//
// Every figure is timed by the device itself: a thread reads /sys/block/<dev>/stat every quarter
// of a millisecond, and a run's window goes from the moment its first sector moved to the moment
// its last one did, so that starting and ending a program count for nothing. The engine's passes
// come from one "dod_h" wipe (its random pass, then its first pattern pass, and, with
// verification, its verifying pass), at 256, 2048 and 8192 sectors per transfer; its CPU time is
// read from /proc at the pass's first and last message. One round runs every configuration once;
// the rounds are interleaved so that a busy moment of the machine hits all alike, and each ratio
// is taken within a round (the median of the rounds is printed, with the best of each figure).
// Each pass is set against fio with transfers of the same size (128 KiB for 256 sectors), the
// verifying pass also against fio reading 1 MiB; the first write is timed from the moment the
// wipe command is sent. The goals at the end are ratios within a round, so that the load of the
// machine, whatever it is, weighs on both sides alike.
//
// The time to the first write is also taken with 16 other loop devices attached and listed as
// drives, over blank files on disk whose cached blocks are dropped before each wipe: the engine
// takes the disk it wipes away from the system before its first write, and must not pay for
// every other disk of the machine when it does.
//
//   device_limit_bench [--engine PATH] [--rounds N] [--sizes 256,8192]
//                      [--only memory,disk,four,many] [--load N]
//
// --engine names another cvwdrv (an older build, say) that is measured beside the one built with
// this benchmark, in the same rounds, each in turn first: every figure of this engine is then
// also set against that engine's in the same round. --sizes and --only pick some of the chunk
// sizes and some of the four parts (the device in memory, the one on disk, four at once, the
// first write among many disks) for a shorter run. --load runs `stress-ng --cpu N` beside it
// all, for the figures of a busy machine. Needs root, loop devices and fio; says so and ends
// when one is missing.
#include "EngineClient.h"
#include "EngineWipe.h"
#include "LinuxMachine.h"
#include "LoopDevice.h"
#include "ProcessCpu.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t deviceBytes = std::uint64_t(1) << 30;
constexpr std::uint64_t deviceSectors = deviceBytes / 512; // as /sys/block counts them
constexpr double gb = 1e9;

double now_s() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// Sectors read and written so far, as /sys/block/<name>/stat counts them (512-byte units).
struct Counters {
  std::uint64_t read = 0;
  std::uint64_t written = 0;
};

class StatFile {
public:
  explicit StatFile(const std::string& name)
      : fd(::open(("/sys/block/" + name + "/stat").c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~StatFile() {
    if (fd >= 0)
      ::close(fd);
  }
  StatFile(const StatFile&) = delete;
  StatFile& operator=(const StatFile&) = delete;

  Counters read() const {
    char text[512];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    Counters counters;
    if (n <= 0)
      return counters;
    text[n] = '\0';
    std::uint64_t field[7] = {};
    std::istringstream in(text);
    for (std::uint64_t& value : field)
      in >> value;
    counters.read = field[2];
    counters.written = field[6];
    return counters;
  }

private:
  int fd;
};

// Reads the counters of some devices every quarter of a millisecond while it lives.
class Sampler {
public:
  explicit Sampler(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      files.push_back(std::make_unique<StatFile>(name));
      samples.emplace_back();
    }
    worker = std::thread([this] {
      while (!stopping.load()) {
        const double t = now_s();
        for (std::size_t i = 0; i < files.size(); ++i)
          samples[i].push_back({t, files[i]->read()});
        std::this_thread::sleep_for(std::chrono::microseconds(250));
      }
    });
  }
  ~Sampler() { stop(); }
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  void stop() {
    stopping.store(true);
    if (worker.joinable())
      worker.join();
  }

  struct Sample {
    double t;
    Counters counters;
  };

  // The window, in seconds from the sampler's clock, in which device `i`'s `written` (else read)
  // counter went from `from` to `to`: from the middle of the samples around its leaving `from`
  // to the middle of those around its reaching `to`. Both ends are -1 when it never got there.
  std::pair<double, double> window(std::size_t i, bool written, std::uint64_t from,
                                   std::uint64_t to) const {
    const std::vector<Sample>& s = samples[i];
    const auto value = [&](std::size_t k) {
      return written ? s[k].counters.written : s[k].counters.read;
    };
    double start = -1, end = -1;
    for (std::size_t k = 1; k < s.size(); ++k) {
      if (start < 0 && value(k - 1) <= from && value(k) > from)
        start = (s[k - 1].t + s[k].t) / 2;
      if (value(k - 1) < to && value(k) >= to) {
        end = (s[k - 1].t + s[k].t) / 2;
        break;
      }
    }
    if (start < 0 || end < 0)
      return {-1, -1};
    return {start, end};
  }

private:
  std::vector<std::unique_ptr<StatFile>> files;
  std::vector<std::vector<Sample>> samples;
  std::atomic<bool> stopping{false};
  std::thread worker;
};

// A loop device of the benchmark, with the drive path that the engine knows it by.
struct Drive {
  std::unique_ptr<LoopDevice> loop;
  std::string name; // "loop3"
  std::string path; // "\\.\PhysicalDrive7"
};

Counters counters_of(const std::string& name) { return StatFile(name).read(); }

// CPU seconds that process `pid` has used so far, its ended threads included.
double cpu_seconds(const std::string& pid) {
  const long long ticks = cpu_ticks_of(pid);
  return ticks < 0 ? -1 : static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs a program with its output thrown away; false when it could not run or failed. `cpu`
// receives the CPU seconds it and its children used.
bool run_program(const std::vector<std::string>& argv, double* cpu = nullptr) {
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0)
    return false;
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  if (cpu != nullptr)
    *cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool have_program(const char* name) {
  return run_program({"sh", "-c", std::string("command -v ") + name});
}

// GB/s of `bytes` moved in the window, 0 when there is none.
double rate(double bytes, std::pair<double, double> window) {
  const double seconds = window.second - window.first;
  return window.first >= 0 && seconds > 0 ? bytes / seconds / gb : 0;
}

// fio writing or reading each of `drives` whole at once, one job each, in transfers of
// `bs`. GB/s of them all.
double run_fio(const std::vector<const Drive*>& drives, bool write, std::uint64_t bs) {
  std::vector<std::string> argv{"fio",
                                "--ioengine=io_uring",
                                "--iodepth=32",
                                "--bs=" + std::to_string(bs),
                                "--direct=1",
                                "--size=1G",
                                std::string("--rw=") + (write ? "write" : "read")};
  std::vector<std::string> names;
  for (const Drive* drive : drives) {
    argv.push_back("--name=" + drive->name);
    argv.push_back("--filename=" + drive->loop->node());
    names.push_back(drive->name);
  }
  std::vector<Counters> before;
  for (const std::string& name : names)
    before.push_back(counters_of(name));
  Sampler sampler(names);
  const bool ok = run_program(argv);
  sampler.stop();
  if (!ok)
    return 0;
  double first = -1, last = -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::uint64_t from = write ? before[i].written : before[i].read;
    const auto [start, end] = sampler.window(i, write, from, from + deviceSectors);
    if (start < 0)
      return 0;
    first = first < 0 ? start : std::min(first, start);
    last = std::max(last, end);
  }
  return rate(static_cast<double>(deviceBytes) * static_cast<double>(names.size()), {first, last});
}

// One pass of an engine: GB/s by the device, CPU seconds per GB written or read.
struct Pass {
  double rate = 0;
  double cpuPerGb = -1;
};

struct EngineRun {
  Pass random, pattern, verify;
  // The windows of the random pass, for the runs of several drives at once.
  std::pair<double, double> randomWindow{-1, -1};
  // Milliseconds from sending the wipe command to the first sector written; -1 when unknown.
  double firstWriteMs = -1;
};

// A "dod_h" wipe of `drive`. Without `verify` the engine is ended once its random pass is over
// (with `patternToo`, once its first pattern pass is); with it, it runs to its end. The windows
// are taken from `sampler` (device `index` of it) after the caller has stopped it; `before`
// holds the counters from before the command.
class EngineConversation {
public:
  EngineConversation(const std::string& engine, const Drive& drive, std::uint64_t perTime,
                     bool verify, bool patternToo, const std::string& dir)
      : client(engine, {"command=interactive", "dbg=null"}, dir + "/stderr-" + drive.name + ".txt"),
        command(raw_wipe_line("dod_h", drive.path, 512, deviceSectors, perTime, verify)),
        verify(verify), patternToo(patternToo), before(counters_of(drive.name)) {}

  // Sends the wipe and follows it to its end (or to the end of the passes wanted).
  void run() {
    std::string line;
    if (!client.receive(line))
      return;
    const std::string pid = client.pid();
    sentAt = now_s();
    client.send(command);
    int pass = -1; // 0 random, 1 pattern, 2 verifying
    while (client.receive(line, 600)) {
      const std::string status = status_of(line);
      if (line.find("\"set_state\"") != std::string::npos) {
        pass = line.find("\"set_state\":\"verifying\"") != std::string::npos ? 2
               : line.find("\"set_state_index\":1,") != std::string::npos    ? 0
               : line.find("\"set_state_index\":2,") != std::string::npos    ? 1
                                                                             : -1;
        if (pass >= 0)
          cpuStart[pass] = cpu_seconds(pid);
      } else if (line.find("\"done\":true") != std::string::npos && pass >= 0) {
        cpuEnd[pass] = cpu_seconds(pid);
        if (!verify && (pass == 1 || (pass == 0 && !patternToo))) {
          client.close_input(); // the engine ends at its next transfer
          break;
        }
        pass = -1;
      } else if (status == "error") {
        std::printf("  engine error: %s\n", line.c_str());
        client.send("\"response\":\"ok\"");
      } else if (status == "done") {
        client.send("\"response\":\"ok\"");
      } else if (status == "ready") {
        break;
      }
    }
    client.close_input();
    client.wait();
  }

  EngineRun figures(const Sampler& sampler, std::size_t index) const {
    EngineRun run;
    const double bytes = static_cast<double>(deviceBytes);
    const auto pass = [&](int k, bool written, std::uint64_t from) {
      Pass p;
      const auto window = sampler.window(index, written, from, from + deviceSectors);
      p.rate = rate(bytes, window);
      if (cpuStart[k] >= 0 && cpuEnd[k] >= 0)
        p.cpuPerGb = (cpuEnd[k] - cpuStart[k]) / (bytes / gb);
      return std::make_pair(p, window);
    };
    const auto random = pass(0, true, before.written);
    run.random = random.first;
    run.randomWindow = random.second;
    if (random.second.first >= 0 && sentAt > 0)
      run.firstWriteMs = (random.second.first - sentAt) * 1000;
    run.pattern = pass(1, true, before.written + deviceSectors).first;
    if (verify)
      run.verify = pass(2, false, before.read).first;
    return run;
  }

private:
  EngineClient client;
  std::string command;
  bool verify;
  bool patternToo;
  Counters before;
  double cpuStart[3] = {-1, -1, -1};
  double cpuEnd[3] = {-1, -1, -1};
  double sentAt = -1; // when the wipe command went out, by the sampler's clock
};

EngineRun run_engine(const std::string& engine, const Drive& drive, std::uint64_t perTime,
                     bool verify, const std::string& dir) {
  EngineConversation conversation(engine, drive, perTime, verify, true, dir);
  Sampler sampler({drive.name});
  conversation.run();
  sampler.stop();
  return conversation.figures(sampler, 0);
}

// The random passes of one engine per drive, all at once: GB/s of them all, and the CPU
// seconds per GB of each engine, averaged.
std::pair<double, double> run_engines(const std::string& engine,
                                      const std::vector<const Drive*>& drives,
                                      const std::string& dir) {
  std::vector<std::unique_ptr<EngineConversation>> conversations;
  std::vector<std::string> names;
  for (const Drive* drive : drives) {
    conversations.push_back(
        std::make_unique<EngineConversation>(engine, *drive, 256, false, false, dir));
    names.push_back(drive->name);
  }
  Sampler sampler(names);
  std::vector<std::thread> threads;
  for (auto& conversation : conversations)
    threads.emplace_back([&conversation] { conversation->run(); });
  for (std::thread& thread : threads)
    thread.join();
  sampler.stop();
  double first = -1, last = -1, cpu = 0;
  for (std::size_t i = 0; i < conversations.size(); ++i) {
    const EngineRun run = conversations[i]->figures(sampler, i);
    if (run.randomWindow.first < 0)
      return {0, -1};
    first = first < 0 ? run.randomWindow.first : std::min(first, run.randomWindow.first);
    last = std::max(last, run.randomWindow.second);
    cpu += run.random.cpuPerGb / static_cast<double>(conversations.size());
  }
  return {
      rate(static_cast<double>(deviceBytes) * static_cast<double>(drives.size()), {first, last}),
      cpu};
}

// Fills `path` with `bytes` zero bytes, flushed; false when that fails.
bool make_image(const std::string& path) {
  return run_program({"dd", "if=/dev/zero", "of=" + path, "bs=1M", "count=1024", "conv=fsync"});
}

double median(std::vector<double> values) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double best(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The figures of one configuration over the rounds.
struct Series {
  std::vector<double> rates;
  std::vector<double> cpu;
};

// Per-round ratios of two series of rates.
std::vector<double> ratios(const Series& a, const Series& b) {
  std::vector<double> r;
  for (std::size_t i = 0; i < a.rates.size() && i < b.rates.size(); ++i)
    if (b.rates[i] > 0)
      r.push_back(a.rates[i] / b.rates[i]);
  return r;
}

// A row of figures: the rates' median and best, the medians of their ratios to `fio` (fio with
// transfers of the same size) and to `other` (the same figure of the other engine) in the same
// round, the CPU seconds per GB, and the first write's milliseconds, where there are any.
void print_row(const std::string& what, const Series& s, const Series* fio, const Series* other,
               const std::vector<double>& firstWrites = {}) {
  std::printf("  %-36s %8.2f %8.2f", what.c_str(), median(s.rates), best(s.rates));
  for (const Series* against : {fio, other}) {
    if (against != nullptr)
      std::printf(" %8.3f", median(ratios(s, *against)));
    else
      std::printf(" %8s", "");
  }
  if (!s.cpu.empty())
    std::printf(" %8.3f", median(s.cpu));
  else if (!firstWrites.empty())
    std::printf(" %8s", "");
  if (!firstWrites.empty())
    std::printf(" %8.1f", median(firstWrites));
  std::printf("\n");
}

// One goal: a figure (the median over the rounds) against its bound.
void print_goal(const std::string& what, double figure, const char* relation, double bound) {
  const bool met = std::string(relation) == ">=" ? figure >= bound : figure <= bound;
  std::printf("  %-60s %8.3f %2s %5.2f  %s\n", what.c_str(), figure, relation, bound,
              met ? "met" : "NOT");
}

// The numbers of a comma-separated list.
std::vector<std::uint64_t> numbers_of(const std::string& list) {
  std::vector<std::uint64_t> numbers;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty())
      numbers.push_back(std::strtoull(item.c_str(), nullptr, 10));
  return numbers;
}

// A transfer size as fio and people write it.
std::string size_text(std::uint64_t bytes) {
  if (bytes % (1 << 20) == 0)
    return std::to_string(bytes >> 20) + "M";
  if (bytes % 1024 == 0)
    return std::to_string(bytes >> 10) + "k";
  return std::to_string(bytes);
}

std::string load_average() {
  std::FILE* file = std::fopen("/proc/loadavg", "r");
  char text[64] = {};
  if (file != nullptr) {
    if (std::fgets(text, sizeof text, file) == nullptr)
      text[0] = '\0';
    std::fclose(file);
  }
  std::string load = text;
  return load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
}

// `stress-ng --cpu N` beside the benchmark while it lives; nothing when N is 0 or stress-ng
// cannot be started.
class CpuLoad {
public:
  explicit CpuLoad(int workers) {
    if (workers <= 0)
      return;
    std::vector<std::string> argv{"stress-ng", "--cpu", std::to_string(workers), "--quiet"};
    std::vector<char*> args;
    for (const std::string& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP); // its workers go with it
    posix_spawnattr_setpgroup(&attributes, 0);
    if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ) != 0)
      pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (pid > 0)
      std::this_thread::sleep_for(std::chrono::seconds(2)); // its workers under way
  }
  ~CpuLoad() {
    if (pid <= 0)
      return;
    kill(-pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  CpuLoad(const CpuLoad&) = delete;
  CpuLoad& operator=(const CpuLoad&) = delete;

  bool running() const { return pid > 0; }

private:
  pid_t pid = 0;
};

// Has the kernel forget the cached blocks of the block device `node`, so that whoever reads it
// next reads the device.
void drop_cached_blocks(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return;
  if (ioctl(fd, BLKFLSBUF, 0) != 0) {
    // The device is read from its cache then: only the figure is the better for it.
  }
  ::close(fd);
}

// A blank (sparse) file of `bytes` bytes at `path`; false when it cannot be made.
bool make_blank(const std::string& path, std::uint64_t bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  const bool made = ftruncate(fd, static_cast<off_t>(bytes)) == 0;
  ::close(fd);
  return made;
}

// The drive path ("\\.\PhysicalDrive7") of the loop device `name` while CVW_LOOP_DEVICES is
// `loops`; empty when it is not among the drives.
std::string drive_path(const std::string& name, const std::string& loops) {
  setenv("CVW_LOOP_DEVICES", loops.c_str(), 1);
  const std::vector<std::string> names = platform::linux_drive_names();
  const auto found = std::find(names.begin(), names.end(), name);
  if (found == names.end())
    return std::string();
  return "\\\\.\\PhysicalDrive" + std::to_string(found - names.begin());
}

// The loop devices attached beside the wiped one for the first write among many disks.
constexpr int other_disks = 16;
constexpr std::uint64_t other_disk_bytes = std::uint64_t(64) << 20;

// The figures of one engine on one device, by transfer size.
struct EngineSeries {
  std::vector<Series> random, pattern, verify;
  std::vector<std::vector<double>> firstWrite; // ms
};

} // namespace

int main(int argc, char** argv) {
  // The engine built here first; the one named by --engine, if any, is set against it.
  std::vector<std::string> engines = {CVWDRV_PATH};
  int rounds = 3;
  int load = 0;
  std::vector<std::uint64_t> perTimes = {256, 2048, 8192};
  std::string parts = "memory,disk,four,many";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--engine" && i + 1 < argc) {
      engines.resize(1);
      engines.push_back(argv[++i]);
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--sizes" && i + 1 < argc) {
      perTimes = numbers_of(argv[++i]);
    } else if (arg == "--only" && i + 1 < argc) {
      parts = argv[++i];
    } else if (arg == "--load" && i + 1 < argc) {
      load = std::max(0, std::atoi(argv[++i]));
    }
  }
  const auto wanted = [&](const char* part) {
    return ("," + parts + ",").find(std::string(",") + part + ",") != std::string::npos;
  };
  const bool other = engines.size() > 1;
  std::printf("the engine at the device's limit: %s\n", engines[0].c_str());
  if (other)
    std::printf("set against the other engine, in the same rounds: %s\n", engines[1].c_str());
  if (geteuid() != 0) {
    std::printf("(not root: no loop devices; nothing measured)\n");
    return 0;
  }
  const bool fio = have_program("fio");
  if (!fio)
    std::printf("(fio is missing: only the engines' own figures)\n");

  std::error_code ignored;
  const std::string shm = "/dev/shm/cvw-device-bench-" + std::to_string(getpid());
  char diskTemplate[] = "/var/tmp/cvw-device-bench-XXXXXX";
  if (mkdtemp(diskTemplate) == nullptr || !std::filesystem::create_directory(shm, ignored)) {
    std::printf("(cannot make the folders of the images)\n");
    return 1;
  }
  const std::string diskDir = diskTemplate;
  std::vector<std::string> images = {shm + "/memory.img", diskDir + "/disk.img"};
  for (int i = 1; i < 4; ++i)
    images.push_back(shm + "/memory" + std::to_string(i) + ".img");
  // Only the devices of the parts asked for: the engine looks at drives of the machine when it
  // opens one, and the others could weigh on the time to its first write.
  const bool needed[] = {wanted("memory") || wanted("four") || wanted("many"), wanted("disk"),
                         wanted("four"), wanted("four"), wanted("four")};
  std::vector<Drive> drives(images.size());
  bool ready = true;
  for (std::size_t i = 0; i < images.size() && ready; ++i) {
    if (!needed[i])
      continue;
    ready = make_image(images[i]);
    if (!ready) {
      std::printf("(cannot write %s)\n", images[i].c_str());
      break;
    }
    // The file on disk with direct input and output: the disk, not the cache, is what is
    // written. The files in memory have no other place to go.
    drives[i].loop = std::make_unique<LoopDevice>(images[i], 512, i == 1);
    if (!drives[i].loop->why_not().empty()) {
      std::printf("(%s)\n", drives[i].loop->why_not().c_str());
      ready = false;
    } else {
      drives[i].name = drives[i].loop->name();
    }
  }
  // The blank disks beside the wiped one, and the list of loop devices that names them all.
  std::vector<std::unique_ptr<LoopDevice>> others;
  std::string manyLoops;
  for (int i = 0; ready && wanted("many") && i < other_disks; ++i) {
    const std::string image = diskDir + "/blank" + std::to_string(i) + ".img";
    if (!make_blank(image, other_disk_bytes)) {
      std::printf("(cannot make %s)\n", image.c_str());
      ready = false;
      break;
    }
    others.push_back(std::make_unique<LoopDevice>(image, 512));
    if (!others.back()->why_not().empty()) {
      std::printf("(%s)\n", others.back()->why_not().c_str());
      ready = false;
    } else {
      manyLoops += "," + others.back()->name();
    }
  }
  unsetenv("CVW_MACHINE");
  std::string loops;
  Drive amongMany; // the device in memory, as the engine knows it among the many
  if (ready) {
    for (const Drive& drive : drives)
      if (drive.loop)
        loops += (loops.empty() ? "" : ",") + drive.name;
    if (wanted("many")) {
      manyLoops = drives[0].name + manyLoops;
      amongMany.name = drives[0].name;
      amongMany.path = drive_path(drives[0].name, manyLoops);
      if (amongMany.path.empty()) {
        std::printf("(%s is not among the drives with %d others)\n", drives[0].name.c_str(),
                    other_disks);
        ready = false;
      }
    }
    for (Drive& drive : drives) {
      if (!drive.loop || !ready)
        continue;
      drive.path = drive_path(drive.name, loops);
      if (drive.path.empty()) {
        std::printf("(%s is not among the drives)\n", drive.name.c_str());
        ready = false;
      }
    }
  }
  if (ready) {
    const CpuLoad cpuLoad(load);
    if (load > 0)
      std::printf("(beside it: stress-ng --cpu %d%s)\n", load,
                  cpuLoad.running() ? "" : ", which could not be started");
    const std::string loadBefore = load_average();
    // The verifying wipe at every size but 2048, which is measured for its two writing passes.
    const auto verifies = [](std::uint64_t perTime) { return perTime != 2048; };
    const std::size_t sizes = perTimes.size();
    constexpr std::uint64_t mib = 1 << 20;
    // fio with transfers of each of the engine's sizes, and of 1 MiB.
    std::vector<std::uint64_t> fioSizes;
    for (std::uint64_t perTime : perTimes)
      fioSizes.push_back(perTime * 512);
    fioSizes.push_back(mib);
    std::sort(fioSizes.begin(), fioSizes.end());
    fioSizes.erase(std::unique(fioSizes.begin(), fioSizes.end()), fioSizes.end());
    struct DeviceSeries {
      std::map<std::uint64_t, Series> fioWrite, fioRead; // by transfer size
      std::vector<EngineSeries> engines;                 // as `engines`
    } single[2];
    for (DeviceSeries& s : single) {
      s.engines.resize(engines.size());
      for (EngineSeries& e : s.engines) {
        e.random.resize(sizes);
        e.pattern.resize(sizes);
        e.verify.resize(sizes);
        e.firstWrite.resize(sizes);
      }
    }
    const bool device[2] = {wanted("memory"), wanted("disk")};
    Series fioFour;
    std::vector<Series> engineFour(engines.size());
    std::vector<std::vector<double>> manyFirstWrite(engines.size()); // ms
    std::vector<std::string> roundLoads;
    for (int round = 0; round < rounds; ++round) {
      // Each engine first in every other round.
      std::vector<std::size_t> order;
      for (std::size_t e = 0; e < engines.size(); ++e)
        order.push_back((e + static_cast<std::size_t>(round)) % engines.size());
      for (int d = 0; d < 2; ++d) {
        if (!device[d])
          continue;
        DeviceSeries& s = single[d];
        const Drive& drive = drives[static_cast<std::size_t>(d)];
        if (fio) {
          for (std::uint64_t bs : fioSizes) {
            s.fioWrite[bs].rates.push_back(run_fio({&drive}, true, bs));
            s.fioRead[bs].rates.push_back(run_fio({&drive}, false, bs));
          }
        }
        for (std::size_t k = 0; k < sizes; ++k) {
          const bool verify = verifies(perTimes[k]);
          for (std::size_t e : order) {
            EngineSeries& series = s.engines[e];
            const EngineRun run = run_engine(engines[e], drive, perTimes[k], verify, diskDir);
            series.random[k].rates.push_back(run.random.rate);
            series.random[k].cpu.push_back(run.random.cpuPerGb);
            series.firstWrite[k].push_back(run.firstWriteMs);
            series.pattern[k].rates.push_back(run.pattern.rate);
            series.pattern[k].cpu.push_back(run.pattern.cpuPerGb);
            if (verify) {
              series.verify[k].rates.push_back(run.verify.rate);
              series.verify[k].cpu.push_back(run.verify.cpuPerGb);
            }
          }
        }
      }
      if (wanted("four")) {
        const std::vector<const Drive*> four = {&drives[0], &drives[2], &drives[3], &drives[4]};
        if (fio)
          fioFour.rates.push_back(run_fio(four, true, 256 * 512));
        for (std::size_t e : order) {
          const auto [rate4, cpu4] = run_engines(engines[e], four, diskDir);
          engineFour[e].rates.push_back(rate4);
          engineFour[e].cpu.push_back(cpu4);
        }
      }
      if (wanted("many")) {
        setenv("CVW_LOOP_DEVICES", manyLoops.c_str(), 1);
        for (std::size_t e : order) {
          for (const auto& blank : others)
            drop_cached_blocks(blank->node());
          EngineConversation conversation(engines[e], amongMany, 256, false, false, diskDir);
          Sampler sampler({amongMany.name});
          conversation.run();
          sampler.stop();
          manyFirstWrite[e].push_back(conversation.figures(sampler, 0).firstWriteMs);
        }
        setenv("CVW_LOOP_DEVICES", loops.c_str(), 1);
      }
      roundLoads.push_back(load_average());
      std::printf("(round %d of %d done, load average %s)\n", round + 1, rounds,
                  roundLoads.back().c_str());
      std::fflush(stdout);
    }
    std::printf("(load average before: %s, after: %s)\n", loadBefore.c_str(),
                load_average().c_str());
    const char* header = "  %-36s %8s %8s %8s %8s %8s %8s\n";
    const char* otherRow = "  other engine";
    struct Goal {
      std::string what;
      double figure;
      const char* relation;
      double bound;
    };
    std::vector<Goal> goals;
    double worstCpu = 0, worstVerifyCpu = 0, worstFirstWrite = 0;
    for (int d = 0; d < 2; ++d) {
      if (!device[d])
        continue;
      const DeviceSeries& s = single[d];
      const EngineSeries& mine = s.engines[0];
      const EngineSeries* theirs = other ? &s.engines[1] : nullptr;
      const char* where = d == 0 ? "memory" : "disk";
      std::printf("\n%s (%s), %d interleaved rounds; GB/s by the device's I/O window\n",
                  d == 0 ? "1 GiB loop device over a file in /dev/shm"
                         : "1 GiB loop device over a file on disk, direct I/O",
                  drives[static_cast<std::size_t>(d)].name.c_str(), rounds);
      std::printf(header, "", "median", "best", "/ fio", other ? "/ other" : "", "CPU s/GB",
                  "1st wr ms");
      const auto fio_of = [&](const std::map<std::uint64_t, Series>& m, std::uint64_t bs) {
        const auto found = m.find(bs);
        return fio && found != m.end() ? &found->second : nullptr;
      };
      if (fio) {
        for (std::uint64_t bs : fioSizes)
          print_row("fio write (io_uring, qd32) " + size_text(bs), s.fioWrite.at(bs), nullptr,
                    nullptr);
        for (std::uint64_t bs : fioSizes)
          print_row("fio read " + size_text(bs), s.fioRead.at(bs), nullptr, nullptr);
      }
      std::size_t at256 = sizes, at8192 = sizes;
      for (std::size_t k = 0; k < sizes; ++k) {
        const std::uint64_t bs = perTimes[k] * 512;
        const std::string n = std::to_string(perTimes[k]) + " (" + size_text(bs) + ")";
        const Series* write = fio_of(s.fioWrite, bs);
        const Series* read = fio_of(s.fioRead, bs);
        print_row("random pass @" + n, mine.random[k], write, theirs ? &theirs->random[k] : nullptr,
                  mine.firstWrite[k]);
        if (theirs)
          print_row(otherRow, theirs->random[k], write, nullptr, theirs->firstWrite[k]);
        print_row("pattern pass @" + n, mine.pattern[k], write,
                  theirs ? &theirs->pattern[k] : nullptr);
        if (theirs)
          print_row(otherRow, theirs->pattern[k], write, nullptr);
        if (verifies(perTimes[k])) {
          print_row("verify read-back @" + n, mine.verify[k], read,
                    theirs ? &theirs->verify[k] : nullptr);
          if (theirs)
            print_row(otherRow, theirs->verify[k], read, nullptr);
          const std::string at = std::to_string(perTimes[k]);
          if (const Series* fioMib = fio_of(s.fioRead, mib))
            goals.push_back({"verify @" + at + " / fio read 1M, " + where,
                             median(ratios(mine.verify[k], *fioMib)), ">=", 0.95});
          if (theirs)
            goals.push_back({"verify @" + at + " / the other engine's, " + where,
                             median(ratios(mine.verify[k], theirs->verify[k])), ">=", 1.0});
          worstVerifyCpu = std::max(worstVerifyCpu, median(mine.verify[k].cpu));
        }
        if (write != nullptr)
          goals.push_back({std::string("random @") + std::to_string(perTimes[k]) + " / fio " +
                               size_text(bs) + ", " + where,
                           median(ratios(mine.random[k], *write)), ">=", 0.95});
        worstCpu = std::max(worstCpu, median(mine.random[k].cpu));
        worstFirstWrite = std::max(worstFirstWrite, median(mine.firstWrite[k]));
        if (perTimes[k] == 256)
          at256 = k;
        if (perTimes[k] == 8192)
          at8192 = k;
      }
      if (at256 < sizes && at8192 < sizes)
        goals.push_back({std::string("random @8192 / random @256, ") + where,
                         median(ratios(mine.random[at8192], mine.random[at256])), ">=", 1.0});
    }
    if (wanted("four")) {
      std::printf("\nfour 1 GiB loop devices over files in /dev/shm at once, %d rounds\n", rounds);
      std::printf(header, "", "median", "best", "/ fio", other ? "/ other" : "", "CPU s/GB", "");
      if (fio)
        print_row("4 fio jobs write 128k", fioFour, nullptr, nullptr);
      print_row("4 engines, random pass @256", engineFour[0], fio ? &fioFour : nullptr,
                other ? &engineFour[1] : nullptr);
      if (other)
        print_row(otherRow, engineFour[1], fio ? &fioFour : nullptr, nullptr);
      if (fio)
        goals.push_back({"4 engines @256 / 4 fio jobs 128k", median(ratios(engineFour[0], fioFour)),
                         ">=", 0.90});
      worstCpu = std::max(worstCpu, median(engineFour[0].cpu));
    }
    if (wanted("many")) {
      std::printf("\nthe device in memory (%s) with %d other loop devices attached over blank "
                  "files on disk, their cache dropped; %d rounds\n",
                  drives[0].name.c_str(), other_disks, rounds);
      std::printf("  %-36s %8s %8s\n", "ms from the wipe command", "median", "least");
      for (std::size_t e = 0; e < engines.size(); ++e) {
        const std::vector<double>& ms = manyFirstWrite[e];
        std::printf("  %-36s %8.1f %8.1f\n",
                    e == 0 ? "to the first write" : "to the first write, other engine", median(ms),
                    ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()));
      }
      goals.push_back(
          {"ms to the first write, " + std::to_string(other_disks) + " other loop devices attached",
           median(manyFirstWrite[0]), "<=", 5.0});
    }
    std::printf("\ngoals of this engine, by the medians over the rounds (ratios taken within "
                "each round)\n");
    for (const Goal& goal : goals)
      print_goal(goal.what, goal.figure, goal.relation, goal.bound);
    print_goal("CPU s/GB of a random pass, the highest", worstCpu, "<=", 0.25);
    if (device[0] || device[1]) {
      print_goal("CPU s/GB of a verifying pass, the highest", worstVerifyCpu, "<=", 0.10);
      print_goal("ms from the wipe command to its first write, the most", worstFirstWrite,
                 "<=", 5.0);
    }
    std::printf("(CPU s/GB: the engine process, all its threads, over the pass. / fio: against "
                "fio with transfers of the same size. / other: against the other engine)\n");
    std::printf("(load average after each round:");
    for (const std::string& roundLoad : roundLoads)
      std::printf(" [%s]", roundLoad.c_str());
    std::printf(")\n");
  }
  others.clear();
  drives.clear(); // the loop devices go before their files
  std::filesystem::remove_all(shm, ignored);
  std::filesystem::remove_all(diskDir, ignored);
  return ready ? 0 : 1;
}
