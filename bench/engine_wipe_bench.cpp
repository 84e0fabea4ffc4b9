// Throughput of the engine's wipes against dd at the same block size, on the same 1 GiB file in
// the same run, and the engine's CPU use while it waits at "ready".
//
// The standard wipe: both writers flush at the end (the engine syncs after its pattern pass, dd
// runs with fsync), so the figures include getting the data to the disk. The verify pass reads
// back what was just written, which the page cache mostly still holds; it is compared with dd
// reading the file.
//
// A random pass (the first pass of "dod_h", from its state update to its end, which flushes
// too), against dd writing zeros and against shred writing one pass of its own random data, on a
// folder on disk and on tmpfs: the generator must never be what a wipe waits for.
#include "EngineClient.h"
#include "EngineWipe.h"
#include "LinuxMachine.h"
#include "LoopDevice.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t fileBytes = std::uint64_t(1) << 30;
constexpr std::uint64_t sectorSize = 512;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds that `command` (a shell command line) took; negative when it failed.
double time_command(const std::string& command) {
  const auto start = Clock::now();
  gint status = 0;
  const std::string line = "sh -c '" + command + " 2>/dev/null'";
  if (!g_spawn_command_line_sync(line.c_str(), nullptr, nullptr, &status, nullptr) ||
      !g_spawn_check_wait_status(status, nullptr))
    return -1;
  return seconds_since(start);
}

// Seconds from sending the wipe to its "done", over the whole file.
double time_engine(const std::string& image, std::uint64_t sectorsPerTime, bool verify,
                   const std::string& dir) {
  EngineClient engine(CVWDRV_PATH, {"command=interactive", "dbg=null"}, dir + "/stderr.txt");
  std::string line;
  if (!engine.receive(line))
    return -1;
  const std::string command =
      "\"command\":\"wipe\",\"mode\":\"forward\",\"pattern\":\"CVW\",\"verify\":" +
      std::string(verify ? "true" : "false") +
      ",\"sectorsPerTime\":" + std::to_string(sectorsPerTime) +
      ",\"updatePeriod\":1000,\"jumpAfterErrorSectors\":1,\"jumpAfterErrorDouble\":false,"
      "\"lba\":0,\"sectors\":" +
      std::to_string(fileBytes / sectorSize) +
      ",\"device\":{\"type\":\"file\",\"sectorSize\":512,\"id\":\"" + image + "\"}";
  const auto start = Clock::now();
  engine.send(command);
  return seconds_to_done(engine, start);
}

// Seconds of the passes of "dod_h" over the whole file: the random first pass and the second,
// which writes 0x00, each from its state update to its end-of-pass update.
struct PassTimes {
  double random = -1;
  double pattern = -1;
};

// The passes of the wipe `command`: those of "dod_h" (or, with `verifying`, the verifying pass
// of a verified wipe in `pattern`).
PassTimes time_dod_h_line(const std::string& command, const std::string& dir,
                          bool verifying = false) {
  PassTimes times;
  EngineClient engine(CVWDRV_PATH, {"command=interactive", "dbg=null"}, dir + "/stderr.txt");
  std::string line;
  if (!engine.receive(line))
    return times;
  engine.send(command);
  Clock::time_point start;
  double* pass = nullptr;
  while (engine.receive(line, 600)) {
    const std::string status = status_of(line);
    if (line.find("\"set_state_index\":1,") != std::string::npos) {
      start = Clock::now();
      pass = &times.random;
    } else if (line.find(verifying ? "\"set_state\":\"verifying\"" : "\"set_state_index\":2,") !=
               std::string::npos) {
      start = Clock::now();
      pass = &times.pattern;
    } else if (pass != nullptr && line.find("\"done\":true") != std::string::npos) {
      *pass = seconds_since(start);
      pass = nullptr;
    } else if (status == "done" || status == "error") {
      if (status == "error")
        std::printf("  engine error: %s\n", line.c_str());
      engine.send("\"response\":\"ok\"");
    } else if (status == "ready") {
      break;
    }
  }
  engine.close_input();
  engine.wait();
  return times;
}

PassTimes time_dod_h(const std::string& image, std::uint64_t sectorsPerTime,
                     const std::string& dir) {
  const std::string command =
      "\"command\":\"wipe\",\"mode\":\"dod_h\",\"pattern\":\"\",\"verify\":false,"
      "\"sectorsPerTime\":" +
      std::to_string(sectorsPerTime) +
      ",\"updatePeriod\":1000,\"jumpAfterErrorSectors\":1,\"jumpAfterErrorDouble\":false,"
      "\"lba\":0,\"sectors\":" +
      std::to_string(fileBytes / sectorSize) +
      ",\"device\":{\"type\":\"file\",\"sectorSize\":512,\"id\":\"" + image + "\"}";
  return time_dod_h_line(command, dir);
}

template <typename F> double best_of(int rounds, F run) {
  double best = -1;
  for (int i = 0; i < rounds; ++i) {
    const double t = run();
    if (t >= 0 && (best < 0 || t < best))
      best = t;
  }
  return best;
}

// Nanoseconds the process has run on a CPU so far, from the scheduler's statistics.
long long cpu_ns(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/schedstat");
  long long ns = -1;
  in >> ns;
  return ns;
}

double mib_per_s(double seconds) { return seconds > 0 ? fileBytes / seconds / (1 << 20) : 0; }

// The random pass against dd and shred, in each of `folders` (skipped where no file can be made).
void random_passes(const std::vector<std::string>& folders) {
  std::printf("\nrandom pass of the engine over a 1 GiB file, best of 2, against dd writing zeros "
              "at the same block size and shred -n1 (its own generator)\n");
  std::printf("%-24s %14s %10s %10s %12s %8s %10s %10s\n", "folder", "sectorsPerTime", "random s",
              "dd s", "random MiB/s", "ratio", "pattern s", "shred s");
  for (const std::string& folder : folders) {
    gchar* made = g_build_filename(folder.c_str(), "cvw-bench-XXXXXX", nullptr);
    std::string work = made;
    g_free(made);
    if (g_mkdtemp(work.data()) == nullptr) {
      std::printf("%-24s (cannot make a folder there)\n", folder.c_str());
      continue;
    }
    const std::string image = work + "/disk.img";
    if (time_command("dd if=/dev/zero of=" + image + " bs=1M count=1024 conv=fsync") < 0) {
      std::printf("%-24s (cannot write 1 GiB there)\n", folder.c_str());
    } else {
      const double shred = best_of(2, [&] { return time_command("shred -n1 " + image); });
      for (std::uint64_t sectorsPerTime : {256u, 2048u, 65536u}) {
        const std::uint64_t block = sectorsPerTime * sectorSize;
        PassTimes best;
        for (int round = 0; round < 2; ++round) {
          const PassTimes t = time_dod_h(image, sectorsPerTime, work);
          if (t.random >= 0 && (best.random < 0 || t.random < best.random))
            best.random = t.random;
          if (t.pattern >= 0 && (best.pattern < 0 || t.pattern < best.pattern))
            best.pattern = t.pattern;
        }
        const double dd = best_of(2, [&] {
          return time_command("dd if=/dev/zero of=" + image + " bs=" + std::to_string(block) +
                              " count=" + std::to_string(fileBytes / block) +
                              " conv=notrunc,fsync");
        });
        std::printf("%-24s %14llu %10.3f %10.3f %12.1f %8.3f %10.3f %10.3f\n", folder.c_str(),
                    static_cast<unsigned long long>(sectorsPerTime), best.random, dd,
                    mib_per_s(best.random), dd > 0 ? best.random / dd : 0.0, best.pattern, shred);
      }
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
  }
  std::printf(
      "(ratio = random pass / dd; all flush at the end, which tmpfs does not need; pattern ="
      " the engine's own next pass, 0x00, at the same block size)\n");
}

} // namespace

// Sectors written to `name` so far, in 512-byte units, as the kernel counts them.
std::uint64_t device_writes(const std::string& name) {
  std::ifstream stat("/sys/block/" + name + "/stat");
  std::uint64_t ios = 0, merges = 0, sectors = 0, ticks = 0, writes = 0;
  stat >> ios >> merges >> sectors >> ticks >> writes;
  return writes;
}

// The engine's passes on the loop device `node` against dd, interleaved; `command` makes the
// wipe line of a mode, a count of sectors per transfer and whether to verify.
template <typename Command>
void raw_passes(const std::string& node, const std::string& dir, const Command& command) {
  const std::uint64_t perTimes[] = {256, 2048, 8192};
  struct Figures {
    double random = -1, pattern = -1, verify = -1;
  };
  const auto best = [](double& slot, double t) {
    if (t >= 0 && (slot < 0 || t < slot))
      slot = t;
  };
  Figures engine[3], oneAtATime, threads;
  double dd128 = -1, dd1m = -1, ddRead = -1;
  const std::string dd = "dd if=/dev/zero of=" + node + " oflag=direct ";
  for (int round = 0; round < 3; ++round) {
    best(dd128, time_command(dd + "bs=128K count=8192"));
    best(dd1m, time_command(dd + "bs=1M count=1024"));
    best(ddRead, time_command("dd if=" + node + " of=/dev/null iflag=direct bs=1M"));
    for (int i = 0; i < 3; ++i) {
      const PassTimes t = time_dod_h_line(command("dod_h", perTimes[i], false), dir);
      best(engine[i].random, t.random);
      best(engine[i].pattern, t.pattern);
    }
    const PassTimes verified = time_dod_h_line(command("forward", 256, true), dir, true);
    best(engine[0].verify, verified.pattern);
    g_setenv("CVW_TRANSFERS_IN_FLIGHT", "1", TRUE);
    const PassTimes single = time_dod_h_line(command("dod_h", 256, false), dir);
    g_unsetenv("CVW_TRANSFERS_IN_FLIGHT");
    best(oneAtATime.random, single.random);
    best(oneAtATime.pattern, single.pattern);
    g_setenv("CVW_TRANSFER_QUEUE", "threads", TRUE);
    const PassTimes pool = time_dod_h_line(command("dod_h", 256, false), dir);
    g_unsetenv("CVW_TRANSFER_QUEUE");
    best(threads.random, pool.random);
    best(threads.pattern, pool.pattern);
  }
  std::printf("\nraw device: 1 GiB loop device with direct I/O (backing file in %s), 512-byte "
              "sectors, best of 3 interleaved rounds\n",
              dir.c_str());
  std::printf("dd zeros O_DIRECT: 128 KiB %.3f s (%.0f MiB/s), 1 MiB %.3f s (%.0f MiB/s); "
              "dd read O_DIRECT 1 MiB %.3f s\n",
              dd128, mib_per_s(dd128), dd1m, mib_per_s(dd1m), ddRead);
  std::printf("%-26s %10s %10s %12s %12s %12s %12s\n", "engine", "random s", "pattern s",
              "random/dd1M", "pattern/dd1M", "random/ddsame", "pattern/ddsame");
  const auto row = [&](const std::string& what, const Figures& f, double same) {
    std::printf("%-26s %10.3f %10.3f %12.2f %12.2f %12s %12s\n", what.c_str(), f.random, f.pattern,
                dd1m / f.random, dd1m / f.pattern,
                same > 0 ? std::to_string(same / f.random).substr(0, 4).c_str() : "-",
                same > 0 ? std::to_string(same / f.pattern).substr(0, 4).c_str() : "-");
  };
  for (int i = 0; i < 3; ++i)
    row(std::to_string(perTimes[i]) + " sectors", engine[i],
        perTimes[i] == 256    ? dd128
        : perTimes[i] == 2048 ? dd1m
                              : -1);
  row("256, one at a time", oneAtATime, dd128);
  row("256, threads not io_uring", threads, dd128);
  std::printf("verify pass at 256 sectors: %.3f s, %.2f of dd reading the device\n",
              engine[0].verify, engine[0].verify / ddRead);
  std::printf("(ratios are speeds: dd's time / the engine's; each pass from its state update to "
              "its end, the pattern pass's flush included)\n");
}

// The first write: from sending a wipe to the engine at "ready" to the write counter of the
// device `name` moving, over fifteen wipes.
template <typename Command>
void first_writes(const std::string& name, const std::string& dir, const Command& command) {
  std::vector<double> firsts;
  for (int i = 0; i < 15; ++i) {
    EngineClient client(CVWDRV_PATH, {"command=interactive", "dbg=null"}, dir + "/stderr.txt");
    std::string line;
    if (!client.receive(line))
      break;
    const std::uint64_t before = device_writes(name);
    const auto start = Clock::now();
    client.send(command("forward", 256, false));
    while (device_writes(name) == before && seconds_since(start) < 5) {
    }
    firsts.push_back(seconds_since(start) * 1000);
    while (client.receive(line, 60)) {
      const std::string status = status_of(line);
      if (status == "done" || status == "error")
        client.send("\"response\":\"ok\"");
      if (status == "done")
        break;
    }
    client.close_input();
    client.wait();
  }
  std::sort(firsts.begin(), firsts.end());
  if (!firsts.empty())
    std::printf("first write on the device after the command: median %.1f ms, best %.1f ms, "
                "quartiles %.1f-%.1f ms, worst %.1f ms (%zu runs)\n",
                firsts[firsts.size() / 2], firsts.front(), firsts[firsts.size() / 4],
                firsts[firsts.size() * 3 / 4], firsts.back(), firsts.size());
}

// The engine's passes on a raw device against dd on the same device, interleaved in one run: a
// loop device with direct input and output (`losetup --direct-io=on`) over a 1 GiB file in
// `dir`. "dod_h" gives a random pass and a pattern pass; a forward wipe with verification gives
// the verifying pass; dd writes zeros with O_DIRECT at 128 KiB and 1 MiB and reads the device
// with O_DIRECT at 1 MiB. Each figure is the best of three rounds; one round runs every
// configuration once, so that a slow moment of the machine hits them alike. Then how long the
// first write takes to reach the device after a command; with `passesToo` false, only that.
void raw_devices(const std::string& dir, bool passesToo) {
  const std::string image = dir + "/loop.img";
  if (time_command("dd if=/dev/zero of=" + image + " bs=1M count=1024 conv=fsync") < 0) {
    std::printf("\nraw device: cannot make the image\n");
    return;
  }
  LoopDevice loop(image, 512, true);
  if (!loop.why_not().empty()) {
    std::printf("\nraw device: %s\n", loop.why_not().c_str());
    return;
  }
  const std::string name = loop.name();
  g_setenv("CVW_LOOP_DEVICES", name.c_str(), TRUE);
  g_unsetenv("CVW_MACHINE");
  const std::vector<std::string> names = platform::linux_drive_names();
  if (names.empty() || names.back() != name) {
    std::printf("\nraw device: the loop device is not the last drive; not written\n");
    return;
  }
  const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(names.size() - 1);
  const auto command = [&](const char* mode, std::uint64_t perTime, bool verify) {
    return raw_wipe_line(mode, path, sectorSize, fileBytes / sectorSize, perTime, verify);
  };
  if (passesToo)
    raw_passes(loop.node(), dir, command);
  first_writes(name, dir, command);
  g_unsetenv("CVW_LOOP_DEVICES");
}

// With the argument "raw", only the raw device's figures; with "first", only the first write's.
int main(int argc, char** argv) {
  gchar* made = g_dir_make_tmp("cvw-bench-XXXXXX", nullptr);
  if (made == nullptr)
    return 1;
  const std::string dir = made;
  g_free(made);
  const std::string only = argc > 1 ? argv[1] : "";
  if (only == "raw" || only == "first") {
    raw_devices(dir, only == "raw");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
  }
  const std::string image = dir + "/disk.img";
  std::printf("engine wipe of a 1 GiB file (%s), best of 2, against dd at the same block size\n",
              image.c_str());
  if (time_command("dd if=/dev/zero of=" + image + " bs=1M count=1024 conv=fsync") < 0) {
    std::printf("dd is not available\n");
    return 1;
  }
  std::printf("%-14s %12s %12s %12s %8s %12s %12s %12s\n", "sectorsPerTime", "engine s", "dd s",
              "engine MiB/s", "ratio", "+verify s", "verify cost", "dd read s");
  for (std::uint64_t sectorsPerTime : {256u, 2048u, 65536u}) {
    const std::uint64_t block = sectorsPerTime * sectorSize;
    const std::string count = std::to_string(fileBytes / block);
    const double engine =
        best_of(2, [&] { return time_engine(image, sectorsPerTime, false, dir); });
    const double dd = best_of(2, [&] {
      return time_command("dd if=/dev/zero of=" + image + " bs=" + std::to_string(block) +
                          " count=" + count + " conv=notrunc,fsync");
    });
    const double verified =
        best_of(2, [&] { return time_engine(image, sectorsPerTime, true, dir); });
    const double ddRead = best_of(2, [&] {
      return time_command("dd if=" + image + " of=/dev/null bs=" + std::to_string(block) +
                          " count=" + count);
    });
    std::printf("%-14llu %12.3f %12.3f %12.1f %8.3f %12.3f %12.3f %12.3f\n",
                static_cast<unsigned long long>(sectorsPerTime), engine, dd, mib_per_s(engine),
                dd > 0 ? engine / dd : 0.0, verified, verified - engine, ddRead);
  }
  std::printf("(ratio = engine / dd for the pattern pass; verify cost = the verified wipe's extra "
              "time, to set against dd reading the file)\n");

  random_passes({dir, "/dev/shm"});
  raw_devices(dir, true);

  {
    EngineClient engine(CVWDRV_PATH, {"command=interactive", "dbg=null"}, dir + "/stderr.txt");
    std::string line;
    engine.receive(line);
    const std::string pid = engine.pid();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long long before = cpu_ns(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const long long after = cpu_ns(pid);
    const double wall = seconds_since(start);
    if (before >= 0 && after >= 0)
      std::printf("engine idle at \"ready\": %.3f%% of one core over %.1f s\n",
                  100.0 * (after - before) / (wall * 1e9), wall);
    engine.close_input();
    engine.wait();
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
