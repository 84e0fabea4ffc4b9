#include "Script.h"

#include "Files.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

void write_recording_script(const std::string& path, const std::string& commands,
                            const std::string& record) {
  std::ofstream(path) << "#!/bin/sh\n{ " << commands << "; } > '" << record << ".tmp' && mv '"
                      << record << ".tmp' '" << record << "'\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::string wait_for_file(const std::string& path, int seconds) {
  std::string text;
  for (int i = 0; i < seconds * 100 && !read_file(path, text); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return text;
}
