// Time of one enumeration of a simulated machine with 32 disks and 64 volumes (24 of them with
// a drive letter): the device property tables alone, and the whole drive list of the factory,
// with the debug log kept in memory (as the desktop program keeps it by default) and discarded.
#include "DevicesInfoV1.h"
#include "DrivesFactory.h"
#include "LogRedirect.h"
#include "ProgramConfig.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int disks = 32;
constexpr int volumes_per_disk = 2;

// The machine file: 32 disks of 1 GB (sparse images), each with two volumes.
std::string machine_text() {
  std::string text = "\"drives\": [\n";
  for (int n = 0; n < disks; ++n)
    text += "  { \"number\": " + std::to_string(n) +
            ", \"size\": 1073741824, \"vendor\": \"ATA     \", \"product\": \"BENCH DISK " +
            std::to_string(n) + "\", \"revision\": \"1.0\", \"serial\": \"3132333435363738\" }" +
            (n + 1 < disks ? ",\n" : "\n");
  text += "],\n\"volumes\": [\n";
  int letter = 0;
  for (int n = 0; n < disks; ++n) {
    for (int v = 0; v < volumes_per_disk; ++v) {
      const long long offset = 1048576LL + v * 536870912LL;
      text += "  { \"disk\": " + std::to_string(n) + ", \"offset\": " + std::to_string(offset) +
              ", \"length\": 268435456, \"file system\": \"NTFS\", \"label\": \"VOL" +
              std::to_string(n) + "_" + std::to_string(v) + "\"";
      if (letter < 24)
        text += std::string(", \"letters\": \"") + static_cast<char>('C' + letter++) + "\"";
      text += " }";
      text += n + 1 < disks || v + 1 < volumes_per_disk ? ",\n" : "\n";
    }
  }
  return text + "]\n";
}

struct Figures {
  double best = 1e9;
  double median = 0;
};

Figures time_runs(int rounds, const std::function<void()>& work) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

void report(const char* what, const Figures& figures) {
  std::printf("  %-48s best %7.2f ms, median %7.2f ms\n", what, figures.best * 1e3,
              figures.median * 1e3);
}

} // namespace

int main() {
  gchar* folder = g_dir_make_tmp("cvw-drives-bench-XXXXXX", nullptr);
  if (folder == nullptr) {
    std::fprintf(stderr, "cannot make a temporary folder\n");
    return 1;
  }
  const std::string machine = std::string(folder) + "/machine.cfg";
  g_free(folder);
  std::ofstream(machine) << machine_text();
  g_setenv("CVW_MACHINE", machine.c_str(), TRUE);
  g_setenv("SYSTEMDRIVE", "C:", TRUE);
  program_config().set("Program Path", "\\\\server\\share");
  program_config().set("Program Name", "Bench");

  // The debug log is discarded, but where a round keeps it in memory.
  std::ostringstream memory;
  const LogRedirect quiet(LogRedirect::Lines::Discarded);

  // The first enumeration makes the sparse images; it is not counted.
  std::vector<PropertyMap> devices;
  dt::get_devices_info_win32_v1(devices);
  const std::size_t tables = devices.size();
  const std::size_t drives = system_drives_factory().create().size();
  std::printf("drive enumeration: %d disks, %d volumes -> %zu property tables, %zu drives\n", disks,
              disks * volumes_per_disk, tables, drives);

  const int rounds = 30;
  for (const bool keep : {true, false}) {
    std::optional<LogRedirect> kept;
    if (keep)
      kept.emplace(memory);
    std::printf(keep ? " debug log kept in memory:\n" : " debug log discarded:\n");
    report("dt::get_devices_info_win32_v1", time_runs(rounds, [&] {
             memory.str(std::string());
             std::vector<PropertyMap> found;
             dt::get_devices_info_win32_v1(found);
           }));
    report("DrivesFactory::create", time_runs(rounds, [&] {
             memory.str(std::string());
             system_drives_factory().create();
           }));
  }
  memory.str(std::string());
  {
    const LogRedirect kept(memory);
    std::vector<PropertyMap> once;
    dt::get_devices_info_win32_v1(once);
  }
  std::printf(" debug log of one enumeration: %zu bytes\n", memory.str().size());

  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(machine).parent_path(), ignored);
  return 0;
}
