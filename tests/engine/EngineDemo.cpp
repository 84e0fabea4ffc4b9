// A short real wipe through the engine, shown step by step, on a simulated machine: its one disk
// is an image of old data with a volume E:; a range of the disk's sectors is wiped with a
// pattern and read back, and the image and the machine's drive letters are shown afterwards.
#include "EngineClient.h"

#include "Files.h"
#include "Strings.h"
#include "Win32.h"

#include <glib.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace {

constexpr std::uint64_t sectorSize = 512;
constexpr std::uint64_t sectors = 2048;
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

std::string drive_letters() {
  std::string letters;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i))
      letters += static_cast<char>('A' + i);
  return letters.empty() ? "(none)" : letters;
}

const char* machine_text =
    "// one disk of 2048 sectors with an NTFS volume E: in its second half\n"
    "\"drives\":[{\"number\":0,\"size\":1048576,\"vendor\":\"CVW\",\"product\":\"Demo Disk\","
    "\"serial\":\"DEMO0001\"}],\n"
    "\"volumes\":[{\"disk\":0,\"offset\":524288,\"length\":524288,\"file system\":\"NTFS\","
    "\"label\":\"DATA\",\"letters\":\"E\"}]\n";

} // namespace

int main() {
  gchar* made = g_dir_make_tmp("cvw-run-XXXXXX", nullptr);
  if (made == nullptr) {
    std::cerr << "cannot make a scratch directory\n";
    return 1;
  }
  const std::filesystem::path dir(made);
  g_free(made);
  // The engine inherits the machine through the environment.
  const std::string machine = (dir / "demo.machine").string();
  write_file(machine, machine_text, std::strlen(machine_text));
  g_setenv("CVW_MACHINE", machine.c_str(), TRUE);
  const std::string image = (dir / "disk0.img").string();
  const std::string old(sectors * sectorSize, '\xee');
  write_file(image, old.data(), old.size());
  std::cout << "simulated machine " << machine << ":\n" << machine_text;
  std::cout << "its disk \\\\.\\PhysicalDrive0 is the image " << image << ": " << sectors
            << " sectors of old data\n";
  std::cout << "drive letters before the wipe: " << drive_letters() << "\n";

  int code = 0;
  {
    const std::string log = "dbg=" + (dir / "cvwdrv.log").string();
    EngineClient engine(CVWDRV_PATH, {"command=interactive", log}, (dir / "stderr.txt").string());
    std::string line;
    engine.receive(line);
    config::Value command(config::Value::Object);
    command.parse(("\"command\":\"wipe\",\"mode\":\"forward\",\"pattern\":\"CVW\",\"verify\":true,"
                   "\"sectorsPerTime\":4,\"updatePeriod\":1,\"jumpAfterErrorSectors\":1,"
                   "\"jumpAfterErrorDouble\":false,\"lba\":" +
                   std::to_string(first) + ",\"sectors\":" + std::to_string(count) +
                   ",\"device\":{\"type\":\"drive\",\"sectorSize\":512,"
                   "\"id\":\"\\\\\\\\.\\\\PhysicalDrive0\"}")
                      .c_str());
    const Exchange exchange =
        converse(engine, command.to_string(config::Braces::Omitted, config::Layout::OneLine));
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
  std::cout << "drive letters after the wipe: " << drive_letters()
            << " (a disk opened for writing loses the letters of its volumes)\n";
  if (code == 255)
    std::cout
        << "\nThe exit code 255 is how cvwdrv always ends: it has no command to quit. When its\n"
           "client closes its input, the engine logs the end of input (the \"IO.cpp(15)\"\n"
           "line above) and exits with -1, which reads as 255. The wipe itself succeeded:\n"
           "its replies above end with \"done\" and \"ready\".\n";
  else
    std::cout
        << "\ncvwdrv did not come back to \"ready\" as it should have: see its replies and its\n"
           "debug log above.\n";
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return code == 255 ? 0 : 1;
}
