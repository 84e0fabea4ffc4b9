// A short real wipe through the engine, shown step by step: a scratch image of old data gets a
// range of its sectors wiped with a pattern and read back, and the image is shown afterwards.
#include "EngineClient.h"

#include "Files.h"
#include "Strings.h"

#include <glib.h>

#include <filesystem>
#include <iostream>
#include <sstream>

namespace {

constexpr std::uint64_t sectorSize = 512;
constexpr std::uint64_t sectors = 64;
constexpr long long first = 16;
constexpr long long count = 32;

// Describes each run of sectors that look alike.
void show_image(const std::string& bytes, const std::string& pattern) {
  std::string wiped(sectorSize, '\0');
  for (std::uint64_t i = 0; i < sectorSize; ++i)
    wiped[i] = pattern[i % pattern.size()];
  const std::string old(sectorSize, '\xee');
  std::uint64_t start = 0;
  auto kind = [&](std::uint64_t s) {
    const std::string sector = bytes.substr(s * sectorSize, sectorSize);
    return sector == old ? "old data (0xee)" : sector == wiped ? "the pattern" : "other bytes";
  };
  for (std::uint64_t s = 1; s <= sectors; ++s) {
    if (s == sectors || std::string(kind(s)) != kind(start)) {
      std::cout << "  sectors " << start << "-" << s - 1 << ": " << kind(start) << "\n";
      start = s;
    }
  }
  std::cout << "first bytes of sector " << first << ":\n";
  std::ostringstream dump;
  hex_dump(dump, bytes.data() + first * sectorSize, 32);
  std::cout << dump.str();
}

} // namespace

int main() {
  gchar* made = g_dir_make_tmp("cvw-run-XXXXXX", nullptr);
  if (made == nullptr) {
    std::cerr << "cannot make a scratch directory\n";
    return 1;
  }
  const std::filesystem::path dir(made);
  g_free(made);
  const std::string image = (dir / "scratch.img").string();
  const std::string old(sectors * sectorSize, '\xee');
  write_file(image, old.data(), old.size());
  std::cout << "scratch image " << image << ": " << sectors << " sectors of old data\n";

  int code = 0;
  {
    const std::string log = "dbg=" + (dir / "cvwdrv.log").string();
    EngineClient engine(CVWDRV_PATH, {"command=interactive", log},
                        (dir / "stderr.txt").string());
    std::string line;
    engine.receive(line);
    config::Value command(config::Value::Object);
    command.parse(("\"command\":\"wipe\",\"mode\":\"forward\",\"pattern\":\"CVW\",\"verify\":true,"
                   "\"sectorsPerTime\":4,\"updatePeriod\":1,\"jumpAfterErrorSectors\":1,"
                   "\"jumpAfterErrorDouble\":false,\"lba\":" +
                   std::to_string(first) + ",\"sectors\":" + std::to_string(count) +
                   ",\"device\":{\"type\":\"file\",\"sectorSize\":512}")
                      .c_str());
    command["device"].set("id", image);
    const Exchange exchange = converse(engine, command.to_string(true, false));
    engine.close_input();
    code = engine.wait();
    std::cout << "\nconversation with cvwdrv (> to the engine, < from it):\n";
    for (const std::string& l : engine.transcript())
      std::cout << "  " << l << "\n";
    if (!exchange.ready)
      code = -1;
  }
  std::cout << "cvwdrv ended with exit code " << code
            << " when its input closed (it has no orderly end of its own)\n";
  std::string log;
  read_file((dir / "cvwdrv.log").string(), log);
  std::cout << "its debug log:\n" << log;

  std::string bytes;
  read_file(image, bytes);
  std::cout << "\nthe image after the wipe of sectors " << first << "-" << first + count - 1
            << ":\n";
  show_image(bytes, "CVW");
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return code == 255 ? 0 : 1;
}
