// What a wipe task model shows, for its tests: every notification of its view as one text, and
// the entries of its task log without their time prefix.
#pragma once

#include "WipeModel.h"

#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

class WipeModelRecorder : public WipeModel::View {
public:
  void state_changed(WipeModel::State state) override {
    events.push_back("state " + std::to_string(static_cast<int>(state)));
  }
  void status_changed(const char* text) override {
    events.push_back(std::string("status ") + text);
  }
  void percent_changed(int percent) override {
    events.push_back("percent " + std::to_string(percent));
  }
  void area_done(std::uint64_t lba, std::uint64_t sectors) override {
    events.push_back("area " + std::to_string(lba) + " " + std::to_string(sectors));
    areas.push_back({lba, sectors});
  }
  void start_refused(const char* reason) override {
    events.push_back(std::string("refused ") + reason);
  }

  std::vector<std::string> events;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> areas;
};

// The entries of a task log written in the C locale ("HH:MM:SS  " before each entry, its
// continuation lines indented by as much), each without its prefix and indentation.
inline std::vector<std::string> task_log_entries(const std::string& text) {
  static const std::regex timed("^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]  (.*)$");
  static const std::string indent(10, ' ');
  std::vector<std::string> entries;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, timed))
      entries.push_back(match[1]);
    else if (!entries.empty() && line.compare(0, indent.size(), indent) == 0)
      entries.back() += "\n" + line.substr(indent.size());
    else
      entries.push_back("(not an entry) " + line);
  }
  return entries;
}

// The first line of each entry.
inline std::vector<std::string> task_log_heads(const std::string& text) {
  std::vector<std::string> heads;
  for (const std::string& entry : task_log_entries(text))
    heads.push_back(entry.substr(0, entry.find('\n')));
  return heads;
}
