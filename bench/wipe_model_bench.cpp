// The wipe task model's cost on top of the engine:
// - a 1 GiB disk of a simulated machine wiped through the model (arm, start, until Done) and by
//   the engine alone with the same command through the tests' plain client, alternately in the
//   same run, each from the engine's start to its "done";
// - ignored write errors answered by the model, with the scripted fake engine waiting for each
//   answer: errors per second, and the model's own CPU time per error;
// - the task log growing to 100,000 entries through those errors: the time of each block of
//   10,000 entries stays the same when the growth is linear.
#include "BestOf.h"
#include "EngineClient.h"
#include "EngineWipe.h"
#include "FakeEngine.h"
#include "LogCapture.h"
#include "MainLog.h"
#include "MainLoop.h"
#include "TestMachine.h"
#include "WipeModel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t diskBytes = std::uint64_t(1) << 30;
constexpr std::uint64_t sectorSize = 512;
constexpr gint64 hang_limit_us = 600 * G_USEC_PER_SEC;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

Drive bench_drive(std::uint64_t sectors) {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(sectors);
  drive.set_sector_size(sectorSize);
  drive.set_model("BENCH");
  drive.set_serial("B0");
  return drive;
}

config::Value configuration_for(const std::string& engine) {
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", engine);
  configuration["wipe"]["command"] = config::Value(config::Value::Object);
  return configuration;
}

// The command that the model sends for the whole disk with the default options.
std::string model_command() {
  const WipeOptions options;
  config::Value command(config::Value::Object);
  command.set("command", "wipe");
  config::Value& device = command["device"];
  device.set("type", "drive");
  device.set("id", "\\\\.\\PhysicalDrive0");
  device.set("sectorSize", static_cast<unsigned long long>(sectorSize));
  command.set("lba", 0);
  command.set("sectors", static_cast<unsigned long long>(diskBytes / sectorSize));
  command.set("sectorsPerTime", options.sectors_per_time());
  command.set("pattern", options.pattern());
  command.set("updatePeriod", options.update_period());
  command.set("mode", "forward");
  command.set("jumpAfterErrorSectors", options.jump_after_error_sectors());
  command.set("jumpAfterErrorDouble", options.jump_after_error_double());
  command.set("verify", options.verify());
  return command.to_string(config::Braces::Omitted, config::Layout::OneLine);
}

// Seconds from the engine's start to its "done", driven by the plain client.
double engine_alone(const std::string& folder) {
  const auto start = Clock::now();
  EngineClient engine(CVWDRV_PATH, {"command=interactive"}, folder + "/stderr.txt");
  std::string line;
  if (!engine.receive(line) || !engine.send(model_command()))
    return -1;
  return seconds_to_done(engine, start);
}

struct ModelRun {
  double seconds = -1; // from the model's start (which starts the engine) to Done
  double cpu = 0;      // this process's CPU time meanwhile
};

ModelRun through_model() {
  LogCapture log;
  const config::Value configuration = configuration_for(CVWDRV_PATH);
  WipeModelFactoryImpl factory(configuration);
  std::unique_ptr<WipeModel> model(factory.create(bench_drive(diskBytes / sectorSize)));
  model->set_sectors(diskBytes / sectorSize);
  model->arm();
  ModelRun run;
  const std::clock_t cpuStart = std::clock();
  const auto start = Clock::now();
  model->start();
  if (!run_loop(
          [&] {
            return model->state() == WipeModel::State::Done ||
                   model->state() == WipeModel::State::Waiting;
          },
          hang_limit_us) ||
      model->state() != WipeModel::State::Done) {
    std::printf("  the model did not reach Done: %s\n", log.text().c_str());
    return run;
  }
  run.seconds = seconds_since(start);
  run.cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void whole_disk() {
  TestMachine machine(R"("drives": [ { "number": 0, "size": )" + std::to_string(diskBytes) +
                      R"(, "image": "disk0.img", "product": "BENCH", "serial": "B0" } ])");
  constexpr int rounds = 9;
  std::printf("1 GiB disk of a simulated machine, forward wipe with the default options "
              "(256 sectors per transfer, progress every 300 ms), %d rounds, the order swapped "
              "each round, after one wipe not counted\n",
              rounds);
  // A first wipe, not counted, gives the new image its blocks.
  engine_alone(machine.dir().path().string());
  std::vector<double> model, alone, cpu;
  for (int round = 0; round < rounds; ++round) {
    ModelRun m;
    double a = -1;
    if (round % 2 == 0) {
      m = through_model();
      a = engine_alone(machine.dir().path().string());
    } else {
      a = engine_alone(machine.dir().path().string());
      m = through_model();
    }
    if (m.seconds <= 0 || a <= 0)
      return;
    model.push_back(m.seconds);
    alone.push_back(a);
    cpu.push_back(m.cpu);
  }
  const double bestModel = *std::min_element(model.begin(), model.end());
  const double bestAlone = *std::min_element(alone.begin(), alone.end());
  std::printf("  best:   through the model %.3f s (%.1f MiB/s), engine alone %.3f s (%.1f MiB/s): "
              "ratio %.3f\n",
              bestModel, diskBytes / bestModel / (1 << 20), bestAlone,
              diskBytes / bestAlone / (1 << 20), bestAlone / bestModel);
  std::printf("  median: through the model %.3f s, engine alone %.3f s: ratio %.3f\n",
              median(model), median(alone), median(alone) / median(model));
  std::printf("  (ratio = engine alone / through the model, goal >= 0.98; CPU time of this "
              "process per wipe through the model, the wait loop's 1 ms polling included: "
              "median %.1f ms)\n",
              median(cpu) * 1000);
}

// Counts the task log's entries and notes when each block of 10,000 was complete.
class EntryClock : public Log::Callback {
public:
  void appended(const std::string&) override {
    if (++entries % 10000 == 0)
      blocks.push_back(Clock::now());
  }
  std::size_t entries = 0;
  std::vector<Clock::time_point> blocks;
};

void ignored_errors(int errors) {
  std::string script =
      "send \"status\":\"ready\"\nexpect\n"
      "send \"set_state\":\"wiping\",\"set_state_index\":0,\"status\":\"update\"\n";
  for (int i = 0; i < errors; ++i)
    script += "send \"lba\":" + std::to_string(i) +
              ",\"message\":\"write failed\",\"sectors\":1,\"status\":\"error\"\n"
              "expect \"response\":\"ok\"\n";
  // The run covers the whole area, as the engine's does, failed sectors included.
  script += "send \"run size\":" + std::to_string((std::uint64_t(errors) + 1) * sectorSize) +
            ",\"run time\":1,\"status\":\"done\"\n";
  FakeEngine engine(script);
  // The model reads its drive's identity before it arms and starts.
  TestMachine machine(R"("drives": [ { "number": 0, "size": )" +
                      std::to_string((std::uint64_t(errors) + 1) * sectorSize) +
                      R"(, "product": "BENCH", "serial": "B0" } ])");
  LogCapture log;
  const config::Value configuration = configuration_for(FakeEngine::program());
  WipeModelFactoryImpl factory(configuration);
  std::unique_ptr<WipeModel> model(factory.create(bench_drive(std::uint64_t(errors) + 1)));
  model->set_sectors(std::uint64_t(errors) + 1);
  model->options().set_ignore_write_errors(true);
  EntryClock clock;
  model->log().set_callback(&clock);
  model->arm();
  const std::clock_t cpuStart = std::clock();
  const auto start = Clock::now();
  model->start();
  run_loop([&] { return model->state() == WipeModel::State::Done; }, hang_limit_us);
  const double wall = seconds_since(start);
  const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  model->log().set_callback(nullptr);
  if (model->state() != WipeModel::State::Done) {
    std::printf("  the model did not reach Done\n");
    return;
  }
  std::printf("%6d ignored write errors, each answered before the fake engine goes on: %.3f s, "
              "%.0f errors/s; model process CPU %.2f us per error (capacity %.0f errors per CPU "
              "second)\n",
              errors, wall, errors / wall, cpu / errors * 1e6, errors / cpu);
  if (clock.blocks.size() < 2)
    return;
  std::printf("  task log of %zu entries (%zu bytes); seconds per block of 10,000 entries:",
              clock.entries, model->log().text().size());
  auto previous = start;
  double first = 0, last = 0;
  for (std::size_t b = 0; b < clock.blocks.size(); ++b) {
    const double block = std::chrono::duration<double>(clock.blocks[b] - previous).count();
    previous = clock.blocks[b];
    std::printf(" %.3f", block);
    if (b == 0)
      first = block;
    last = block;
  }
  std::printf("\n  last block / first block: %.2f (about 1 when the growth is linear; a "
              "quadratic log would be about %zu)\n",
              last / first, 2 * clock.blocks.size() - 1);
}

} // namespace

int main() {
  MainLog::instance().assign({});
  whole_disk();
  std::printf("\n");
  ignored_errors(10000);
  ignored_errors(100000);
  return 0;
}
