// Throughput of the config::Value text form against a JSON library on the same data: a pretty
// history-like list of 10,000 objects of twelve members, and 100,000 one-line engine messages.
#include "BestOf.h"
#include "ConfigValue.h"
#include "DebugLog.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#ifdef CVW_WITH_NLOHMANN
#include <nlohmann/json.hpp>
#endif

using config::Value;

namespace {

Value history_entry(int i) {
  Value e(Value::Object);
  e.set("time", 1765350000LL + i);
  e.set("model", "Disk Model " + std::to_string(i % 17));
  e.set("serial", "SN" + std::to_string(1000000 + i));
  e.set("wipeLba", 0LL);
  e.set("wipeSectors", 1953525168LL);
  e.set("sectorSize", 512);
  e.set("method", "DoD 5220.22-M (E)");
  e.set("status", "Completed (Certificate)");
  e.set("errors", i % 3);
  e.set("verified", (i & 1) == 1);
  e.set("runTime", 3600LL * 5 + i);
  e.set("comment", "Operator note \xc3\xa9 #" + std::to_string(i));
  return e;
}

Value engine_message(int i) {
  Value m(Value::Object);
  m.set("status", "update");
  m.set("state", "wipe");
  m.set("index", i % 7);
  m.set("lba", 2048LL * i);
  m.set("errors", 0);
  return m;
}

void report(const char* what, std::size_t bytes, double seconds) {
  std::printf("  %-34s %8.1f MB/s\n", what, bytes / seconds / 1e6);
}

#ifdef CVW_WITH_NLOHMANN
nlohmann::json to_json(const Value& v) {
  switch (v.type()) {
  case Value::Null: return nullptr;
  case Value::Boolean: return v.as_boolean();
  case Value::Number: return v.as_number();
  case Value::String: return v.as_string();
  case Value::Object: {
    nlohmann::json j = nlohmann::json::object();
    for (const auto& [key, member] : v.as_object())
      j[key] = to_json(member);
    return j;
  }
  case Value::List: {
    nlohmann::json j = nlohmann::json::array();
    for (const Value& item : v.as_list())
      j.push_back(to_json(item));
    return j;
  }
  }
  return nullptr;
}
#endif

} // namespace

int main() {
  Value history(Value::List);
  Value::Items items;
  for (int i = 0; i < 10000; ++i)
    items.push_back(history_entry(i));
  history = items;
  const std::string history_text =
      history.to_string(config::Braces::Omitted, config::Layout::Indented);
  // Both libraries write trees that they parsed themselves, as the programs do with their files.
  if (!history.parse(history_text.c_str()))
    std::abort();

  std::vector<std::string> lines;
  std::size_t line_bytes = 0;
  for (int i = 0; i < 100000; ++i) {
    lines.push_back(engine_message(i).to_string(config::Braces::Omitted, config::Layout::OneLine));
    line_bytes += lines.back().size();
  }

  std::printf("data: pretty list %zu bytes, %zu messages %zu bytes\n", history_text.size(),
              lines.size(), line_bytes);
  std::printf("config::Value\n");
  report("parse pretty list", history_text.size(), best_of(5, [&] {
           Value v(Value::Object);
           if (!v.parse(history_text.c_str()))
             std::abort();
         }));
  report("to_string pretty list", history_text.size(), best_of(5, [&] {
           volatile auto n =
               history.to_string(config::Braces::Omitted, config::Layout::Indented).size();
           (void)n;
         }));
  std::vector<Value> parsed(lines.size(), Value(Value::Object));
  report("parse messages", line_bytes, best_of(5, [&] {
           for (std::size_t i = 0; i < lines.size(); ++i)
             if (!parsed[i].parse(lines[i].c_str()))
               std::abort();
         }));
  report("to_string messages", line_bytes, best_of(5, [&] {
           std::size_t n = 0;
           for (const Value& v : parsed)
             n += v.to_string(config::Braces::Omitted, config::Layout::OneLine).size();
           volatile std::size_t sink = n;
           (void)sink;
         }));

#ifdef CVW_WITH_NLOHMANN
  // The same trees as JSON, written by the library itself.
  const nlohmann::json jhistory = nlohmann::json::parse(to_json(history).dump(2));
  const std::string jtext = jhistory.dump(2);
  std::vector<std::string> jlines;
  for (const Value& v : parsed)
    jlines.push_back(to_json(v).dump());
  std::vector<nlohmann::json> jparsed(jlines.size());
  for (std::size_t i = 0; i < jlines.size(); ++i)
    jparsed[i] = nlohmann::json::parse(jlines[i]);
  std::size_t jline_bytes = 0;
  for (const auto& l : jlines)
    jline_bytes += l.size();
  std::printf("nlohmann::json %d.%d.%d\n", NLOHMANN_JSON_VERSION_MAJOR, NLOHMANN_JSON_VERSION_MINOR,
              NLOHMANN_JSON_VERSION_PATCH);
  report("parse pretty list", jtext.size(), best_of(5, [&] {
           volatile auto n = nlohmann::json::parse(jtext).size();
           (void)n;
         }));
  report("dump pretty list", jtext.size(), best_of(5, [&] {
           volatile auto n = jhistory.dump(2).size();
           (void)n;
         }));
  report("parse messages", jline_bytes, best_of(5, [&] {
           for (std::size_t i = 0; i < jlines.size(); ++i)
             jparsed[i] = nlohmann::json::parse(jlines[i]);
         }));
  report("dump messages", jline_bytes, best_of(5, [&] {
           std::size_t n = 0;
           for (const auto& j : jparsed)
             n += j.dump().size();
           volatile std::size_t sink = n;
           (void)sink;
         }));
#else
  std::printf("nlohmann::json not installed: no reference figures\n");
#endif
  return 0;
}
