// The data layer of the desktop program at sizes beyond any real use: the wipe history's save,
// load, text and CSV exports at 10,000 and 100,000 entries (each should take ten times as long
// at ten times the size), the user settings with 1,000 hidden drives, and the boot-sector and
// pattern texts of one 4096-byte sector.
#include "BestOf.h"

#include "BootSector.h"
#include "FillPattern.h"
#include "MainLog.h"
#include "Settings.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace {

std::uint64_t file_size(const std::string& path) {
  GStatBuf st;
  return g_stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

MainLog history(int entries) {
  MainLog log;
  for (int i = 0; i < entries; ++i) {
    MainLog::Entry e;
    e.set_time(1700000000LL + i * 3600LL);
    e.set_model("WDC WD10EZEX-08WN4A0 " + std::to_string(i % 97));
    e.set_serial("WD-WCC6Y" + std::to_string(1000000 + i));
    e.set_wipe_method(i % 3 == 0 ? "DoD 5220.22-M (D)" : "Forward");
    e.set_wipe_lba(static_cast<std::uint64_t>(i) * 2048);
    e.set_wipe_sectors(1953525168ULL);
    e.set_errors(static_cast<std::uint32_t>(i % 5));
    log.add(e);
  }
  return log;
}

void bench_history(const std::string& dir, int entries) {
  const MainLog log = history(entries);
  const std::string path = dir + "/WipeLog.cfg";
  const double save = best_of(3, [&] { log.save(path); });
  MainLog loaded;
  const double load = best_of(3, [&] { loaded.load(path); });
  std::size_t textSize = 0, csvSize = 0;
  const double text = best_of(3, [&] { textSize = log.to_text().size(); });
  const double csv = best_of(3, [&] { csvSize = log.to_csv().size(); });
  const double per = 1e6 / entries;
  std::printf("history of %7d entries: save %7.1f ms (%5.2f us/entry, %9llu bytes), "
              "load %7.1f ms (%5.2f us/entry, %s)\n",
              entries, save * 1e3, save * per, static_cast<unsigned long long>(file_size(path)),
              load * 1e3, load * per,
              loaded.entries().size() == log.entries().size() ? "all read" : "MISSING ENTRIES");
  std::printf("%31s to_text %7.1f ms (%5.2f us/entry, %9zu bytes), "
              "to_csv %7.1f ms (%5.2f us/entry, %9zu bytes)\n",
              "", text * 1e3, text * per, textSize, csv * 1e3, csv * per, csvSize);
}

void bench_settings(const std::string& dir) {
  Settings settings;
  std::vector<Drive> hidden;
  for (int i = 0; i < 1000; ++i) {
    Drive d;
    d.set_model("Samsung SSD 860 EVO 1TB " + std::to_string(i));
    d.set_serial("S3Z9NB0K" + std::to_string(100000 + i));
    hidden.push_back(d);
  }
  settings.set_hidden_drives(hidden);
  const std::string path = dir + "/settings.cfg";
  const double save = best_of(5, [&] { settings.save(path.c_str()); });
  Settings loaded;
  const double load = best_of(5, [&] { loaded.load(path.c_str()); });
  std::printf("settings with %zu hidden drives: save %.2f ms, load %.2f ms, %llu bytes\n",
              loaded.hidden_drives().size(), save * 1e3, load * 1e3,
              static_cast<unsigned long long>(file_size(path)));
}

void bench_sector() {
  std::string sector(4096, '\0');
  for (std::size_t i = 0; i < sector.size(); ++i)
    sector[i] = static_cast<char>(i * 131 + 7);
  constexpr int rounds = 1000;
  std::size_t sink = 0;
  const double decode = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i)
      sink += decode_boot_sector(sector, i % 3).size();
  });
  std::string text;
  const double toText = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i)
      text = pattern_to_text(sector);
  });
  std::string back;
  const double toPattern = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i)
      back = text_to_pattern(text.c_str());
  });
  std::printf("4096-byte sector: boot-sector decoding %.1f us, pattern_to_text %.1f us "
              "(%zu characters), text_to_pattern %.1f us (%s)\n",
              decode * 1e6 / rounds, toText * 1e6 / rounds, text.size(), toPattern * 1e6 / rounds,
              back == sector ? "same bytes" : "DIFFERENT BYTES");
  if (sink == 0)
    std::printf("nothing decoded\n");
}

} // namespace

int main() {
  std::setlocale(LC_ALL, "C");
  gchar* dir = g_dir_make_tmp("cvw-models-bench-XXXXXX", nullptr);
  if (dir == nullptr) {
    std::fprintf(stderr, "cannot make a temporary directory\n");
    return 1;
  }
  bench_history(dir, 10000);
  bench_history(dir, 100000);
  bench_settings(dir);
  bench_sector();
  for (const char* name : {"WipeLog.cfg", "settings.cfg"})
    g_remove((std::string(dir) + "/" + name).c_str());
  g_rmdir(dir);
  g_free(dir);
  return 0;
}
