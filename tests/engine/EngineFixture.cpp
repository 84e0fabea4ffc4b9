#include "EngineFixture.h"

#include "Files.h"

#include <cstdio>
#include <regex>

void EngineFixture::start(std::vector<std::string> arguments, bool ownLog) {
  if (ownLog)
    arguments.push_back("dbg=" + dir.file("engine.log"));
  engine = std::make_unique<EngineClient>(CVWDRV_PATH, arguments, dir.file("stderr.txt"),
                                          fileSizeLimit, ring);
}

void EngineFixture::start_ready() {
  start();
  std::string line;
  ASSERT_TRUE(engine->receive(line));
  ASSERT_EQ("\"status\":\"ready\"", line);
}

int EngineFixture::finish() {
  engine->close_input();
  return engine->wait();
}

std::string EngineFixture::log_text() const { return file_text(dir.file("engine.log")); }

std::string EngineFixture::error_text() const { return file_text(dir.file("stderr.txt")); }

std::string line_of(const config::Value& message) {
  return message.to_string(config::Braces::Omitted, config::Layout::OneLine);
}

config::Value file_device(const std::string& path, long long sectorSize) {
  config::Value device(config::Value::Object);
  device.set("type", "file");
  device.set("id", path);
  device.set("sectorSize", sectorSize);
  return device;
}

config::Value raw_device(const std::string& type, const std::string& id, long long sectorSize,
                         bool disableBuffering) {
  config::Value device(config::Value::Object);
  device.set("type", type);
  device.set("id", id);
  device.set("sectorSize", sectorSize);
  device.set("disable buffering", disableBuffering);
  return device;
}

config::Value emulator_device(const std::vector<std::pair<long long, long long>>& good,
                              const std::string& pattern, long long sectorSize) {
  config::Value ranges(config::Value::List);
  for (const auto& [first, count] : good) {
    config::Value pair(config::Value::List);
    config::Value a(config::Value::Number), b(config::Value::Number);
    a = first;
    b = count;
    pair.as_list() = {a, b};
    ranges.as_list().push_back(pair);
  }
  config::Value emulator(config::Value::Object);
  emulator["good"] = ranges;
  emulator.set("pattern", pattern);
  config::Value device(config::Value::Object);
  device.set("sectorSize", sectorSize);
  device.set("use emulator", true);
  device["emulator"] = emulator;
  return device;
}

config::Value wipe_command(const config::Value& device, long long lba, long long sectors,
                           long long sectorsPerTime) {
  config::Value command(config::Value::Object);
  command.set("command", "wipe");
  command.set("mode", "forward");
  command["device"] = device;
  command.set("lba", lba);
  command.set("sectors", sectors);
  command.set("sectorsPerTime", sectorsPerTime);
  command.set("pattern", "CVW");
  command.set("verify", false);
  command.set("updatePeriod", 0);
  command.set("jumpAfterErrorSectors", 1);
  command.set("jumpAfterErrorDouble", false);
  return command;
}

std::string make_image(const std::string& path, std::uint64_t sectors, std::uint64_t sectorSize) {
  std::string bytes(sectors * sectorSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i / sectorSize) * 29 + i % 251);
  if (!write_file(path, bytes.data(), bytes.size()))
    ADD_FAILURE() << "cannot write " << path;
  return bytes;
}

std::string pattern_sector(const std::string& pattern, std::uint64_t sectorSize) {
  std::string sector(sectorSize, '\0');
  for (std::uint64_t i = 0; i < sectorSize && !pattern.empty(); ++i)
    sector[i] = pattern[i % pattern.size()];
  return sector;
}

namespace {

std::string hex16(const std::string& bytes, std::size_t at) {
  std::string out;
  char piece[4];
  for (std::size_t i = at; i < bytes.size() && i < at + 16; ++i) {
    std::snprintf(piece, sizeof piece, "%02x ", static_cast<unsigned char>(bytes[i]));
    out += piece;
  }
  return out;
}

} // namespace

std::string first_difference(const std::string& actual, const std::string& expected,
                             std::uint64_t sectorSize) {
  const std::size_t common = std::min(actual.size(), expected.size());
  std::size_t at = 0;
  while (at < common && actual[at] == expected[at])
    ++at;
  if (at == common && actual.size() == expected.size())
    return std::string();
  const std::size_t chunk = at / 16 * 16;
  return "sector " + std::to_string(at / sectorSize) + " differs at byte " +
         std::to_string(at % sectorSize) + ":\n  expected " + hex16(expected, chunk) +
         "\n  actual   " + hex16(actual, chunk) + "\n  sizes: expected " +
         std::to_string(expected.size()) + ", actual " + std::to_string(actual.size());
}

std::vector<std::string> without_run_time(const std::vector<std::string>& replies) {
  static const std::regex runTime("\"run time\":[0-9]+");
  std::vector<std::string> out;
  for (const std::string& reply : replies)
    out.push_back(std::regex_replace(reply, runTime, "\"run time\":T"));
  return out;
}

std::string file_text(const std::string& path) {
  std::string text;
  read_file(path, text);
  return text;
}
