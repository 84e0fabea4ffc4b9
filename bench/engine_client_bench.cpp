// The engine client's own costs, to show that it never limits a wipe's progress reporting:
//   - "update" lines through Process, parsing and dispatch to a view that reads them as the wipe
//     model does, from the scripted fake engine sending 100,000 of them as fast as it can:
//     lines per second and the client's CPU time per line;
//   - the real engine's own rate of progress updates during a wipe of a simulated disk, at
//     "updatePeriod" 0 (stage updates only) and at 1 ms, its fastest pacing;
//   - "read sectors" round trips per second of the sector view model with the real engine over
//     10,000 consecutive sectors of a simulated disk;
//   - the time from the engine's exit (its last line, written just before) to on_stopped.
#include "DriverModel.h"
#include "LogRedirect.h"
#include "ViewModel.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

Drive drive_of(std::uint64_t sectors) {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(sectors);
  drive.set_sector_size(512);
  return drive;
}

double cpu_seconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double now_seconds() { return g_get_monotonic_time() / 1e6; }

// A folder for scripts, machine files and images, removed at the end.
class Scratch {
public:
  Scratch() : dir(g_dir_make_tmp("cvw-client-bench-XXXXXX", nullptr)) {}
  ~Scratch() {
    for (const std::string& file : files)
      g_remove(file.c_str());
    g_rmdir(dir);
    g_free(dir);
  }
  std::string file(const std::string& name) {
    files.push_back(std::string(dir) + "/" + name);
    return files.back();
  }

private:
  gchar* dir;
  std::vector<std::string> files;
};

// Counts what a wipe model reads of each reply and notes when the engine ended.
class Counter : public DriverControl::View {
public:
  void on_update(const config::Value& reply) override {
    if (reply.has("processedSectors")) {
      processed = reply.get_number("processedSectors");
      if (updates++ == 0)
        firstUpdate = now_seconds();
      lastUpdate = now_seconds();
    }
    if (reply.has("t"))
      stamp = reply.get_number("t");
  }
  void on_done(const config::Value&) override { done = true; }
  void on_stopped() override {
    stoppedAt = g_get_monotonic_time();
    stopped = true;
  }

  long updates = 0;
  long long processed = 0;
  double firstUpdate = 0, lastUpdate = 0;
  long long stamp = 0;
  gint64 stoppedAt = 0;
  bool done = false, stopped = false;
};

void run_until(const bool& flag) {
  while (!flag)
    g_main_context_iteration(nullptr, TRUE);
}

config::Value start_command() {
  config::Value command(config::Value::Object);
  command.set("command", "wipe");
  return command;
}

// Returns the client's capacity in lines per CPU second.
double update_lines(Scratch& scratch) {
  const long count = 100000;
  const std::string script = scratch.file("updates.script");
  std::ofstream(script) << "send \"status\":\"ready\"\nexpect\nupdates " << count
                        << " 0 \"lba\":%n00000,\"processedSectors\":%n00,\"sectors\":256,"
                           "\"status\":\"update\"\nexit 0\n";
  g_setenv("CVW_FAKE_ENGINE_SCRIPT", script.c_str(), TRUE);
  scratch.file("updates.script.pids");
  scratch.file("updates.script.1.in");

  Counter counter;
  DriverModel driver(CVW_FAKE_ENGINE, drive_of(1 << 20));
  driver.add_view(&counter);
  const double cpu0 = cpu_seconds(RUSAGE_SELF), child0 = cpu_seconds(RUSAGE_CHILDREN);
  const double t0 = now_seconds();
  driver.send(start_command());
  run_until(counter.stopped);
  const double wall = now_seconds() - t0;
  const double cpu = cpu_seconds(RUSAGE_SELF) - cpu0;
  const double child = cpu_seconds(RUSAGE_CHILDREN) - child0;
  if (counter.updates != count) {
    std::printf("  update lines: got %ld of %ld\n", counter.updates, count);
    return 0;
  }
  std::printf("update lines from the fake engine: %ld in %.3f s, %.0f lines/s\n", count, wall,
              count / wall);
  std::printf("  client CPU %.3f s (%.2f us/line, capacity %.0f lines per CPU second),"
              " fake engine CPU %.3f s\n",
              cpu, cpu / count * 1e6, count / cpu, child);
  return count / cpu;
}

// A simulated machine of one disk, selected for the engines started after it.
std::string make_machine(Scratch& scratch, std::uint64_t bytes) {
  const std::string machine = scratch.file("machine.cfg");
  const std::string image = scratch.file("disk0.img");
  scratch.file("machine.cfg.state");
  std::ofstream(machine) << "\"drives\": [ { \"number\": 0, \"size\": " << bytes
                         << ", \"image\": \"disk0.img\" } ]\n";
  g_setenv("CVW_MACHINE", machine.c_str(), TRUE);
  return image;
}

// The real engine's updates during a forward wipe, per second of wiping.
double engine_updates(std::uint64_t sectors, long period) {
  Counter counter;
  DriverModel driver(CVWDRV_PATH, drive_of(sectors));
  driver.add_view(&counter);
  config::Value command(config::Value::Object);
  command.set("command", "wipe");
  config::Value& device = command["device"];
  device.set("type", "drive");
  device.set("id", driver.device_id());
  device.set("sectorSize", 512);
  command.set("mode", "forward");
  command.set("sectorsPerTime", 256);
  command.set("lba", 0);
  command.set("sectors", static_cast<long long>(sectors));
  command.set("pattern", std::string(1, '\0'));
  command.set("updatePeriod", period);
  command.set("jumpAfterErrorSectors", 1);
  command.set("jumpAfterErrorDouble", true);
  command.set("verify", false);
  const double t0 = now_seconds();
  driver.send(command);
  run_until(counter.done);
  const double wall = now_seconds() - t0;
  driver.acknowledge();
  const double rate = counter.updates / wall;
  std::printf("  updatePeriod %4ld: %6ld progress updates in %.3f s of wiping %.0f MiB: %.0f "
              "updates/s\n",
              period, counter.updates, wall, sectors * 512 / 1048576.0, rate);
  return rate;
}

class Reader : public ViewModel::View {
public:
  Reader(ViewModel& model, std::uint64_t count) : model(model), count(count) {}
  void show(std::uint64_t lba, const std::string& text) override {
    if (text.find("ERROR") != std::string::npos) {
      std::printf("  read %llu: %s\n", static_cast<unsigned long long>(lba), text.c_str());
      finished = true;
      return;
    }
    if (++shown == count)
      finished = true;
    else
      model.read(lba + 1);
  }
  ViewModel& model;
  std::uint64_t count;
  std::uint64_t shown = 0;
  bool finished = false;
};

void read_round_trips() {
  const std::uint64_t count = 10000;
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", CVWDRV_PATH);
  std::unique_ptr<ViewModel> model(ViewModelFactoryImpl(configuration).create(drive_of(count)));
  // The engine's start and its first read are not round trips of the sector view.
  Reader warmup(*model, 1);
  model->set_view(&warmup);
  model->read(0);
  run_until(warmup.finished);
  // The best of three runs: the figure least disturbed by the rest of the machine.
  double best = 1e9, bestCpu = 0;
  for (int round = 0; round < 3; ++round) {
    Reader reader(*model, count);
    model->set_view(&reader);
    const double cpu0 = cpu_seconds(RUSAGE_SELF);
    const double t0 = now_seconds();
    model->read(0);
    run_until(reader.finished);
    const double wall = now_seconds() - t0;
    if (reader.shown != count)
      return;
    if (wall < best) {
      best = wall;
      bestCpu = cpu_seconds(RUSAGE_SELF) - cpu0;
    }
  }
  std::printf("read sectors with the real engine, %llu consecutive sectors: %.3f s, %.0f round "
              "trips/s (%.1f us each, client CPU %.1f us each)\n",
              static_cast<unsigned long long>(count), best, count / best, best / count * 1e6,
              bestCpu / count * 1e6);
}

void exit_to_stopped(Scratch& scratch) {
  const std::string script = scratch.file("exit.script");
  std::ofstream(script)
      << "send \"status\":\"ready\"\nexpect\nsend \"status\":\"update\",\"t\":%t\n"
         "exit 0\n";
  g_setenv("CVW_FAKE_ENGINE_SCRIPT", script.c_str(), TRUE);
  scratch.file("exit.script.pids");
  const int rounds = 200;
  std::vector<double> delays;
  for (int i = 0; i < rounds; ++i) {
    scratch.file("exit.script." + std::to_string(i + 1) + ".in");
    Counter counter;
    DriverModel driver(CVW_FAKE_ENGINE, drive_of(8));
    driver.add_view(&counter);
    driver.send(start_command());
    run_until(counter.stopped);
    delays.push_back((counter.stoppedAt - counter.stamp) / 1000.0);
  }
  std::sort(delays.begin(), delays.end());
  std::printf("engine exit to on_stopped, %d exits: median %.3f ms, 90th percentile %.3f ms, "
              "longest %.3f ms\n",
              rounds, delays[rounds / 2], delays[rounds * 9 / 10], delays.back());
}

} // namespace

int main() {
  // The engines' debug lines reach the client's log; they are not figures.
  const LogRedirect quiet(LogRedirect::Lines::Discarded);
  Scratch scratch;
  const double capacity = update_lines(scratch);

  const std::uint64_t sectors = 1 << 20; // 512 MiB
  make_machine(scratch, sectors * 512);
  std::printf("the real engine's progress updates, forward wipe of a simulated disk:\n");
  engine_updates(sectors, 0);
  const double fastest = engine_updates(sectors, 1);
  // A period of 1 ms allows at most 1000 updates a second, whatever the disk.
  std::printf("  the client's capacity is %.0f times the measured rate, %.0f times the 1000/s "
              "that a period of 1 ms allows at most\n",
              fastest > 0 ? capacity / fastest : 0.0, capacity / 1000);

  read_round_trips();
  exit_to_stopped(scratch);
  g_unsetenv("CVW_MACHINE");
}
