#include "MainLog.h"

#include "ConfigValue.h"
#include "DebugLog.h"
#include "Files.h"
#include "LocalTime.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <libintl.h>

#include <cerrno>
#include <ostream>

MainLog& MainLog::instance() {
  static MainLog log;
  return log;
}

void MainLog::add(const Entry& entry) {
  entries_.push_back(entry);
  if (!keptIn.empty())
    save_kept();
  if (callback_ != nullptr)
    callback_->added(*this);
}

void MainLog::assign(const std::vector<Entry>& entries) {
  entries_ = entries;
  if (callback_ != nullptr)
    callback_->reset(*this);
}

const MainLog::Entry* MainLog::find(const std::string& model, const std::string& serial) const {
  if (model.empty() || serial.empty())
    return nullptr;
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry)
    if (entry->model() == model && entry->serial() == serial)
      return &*entry;
  return nullptr;
}

bool MainLog::load(const std::string& path) {
  std::string text;
  if (!read_file(path, text)) {
    debug_log() << "MainLog.cpp(148)\n";
    return false;
  }
  config::Value value;
  const char* end = nullptr;
  if (!value.parse(text.c_str(), &end)) {
    debug_log() << "MainLog.cpp(153)\n";
    return false;
  }
  // The parser reads up to the first NUL byte. A history that holds one would load as the part
  // before it, and the next save would destroy the rest: such a file is not read at all.
  if (end != text.c_str() + text.size()) {
    debug_log() << "MainLog.cpp(156): a NUL byte at offset " << (end - text.c_str()) << "\n";
    return false;
  }
  std::vector<Entry> entries;
  try {
    for (const config::Value& item : value.as_list()) {
      Entry entry;
      // Older files hold the time in 32 bits, sign-extended: it reads the same.
      entry.set_time(item.get("time").as_number());
      entry.set_model(item.get_string("model"));
      entry.set_serial(item.get_string("serial"));
      entry.set_wipe_method(item.get_string("wipeMethod"));
      entry.set_wipe_lba(static_cast<std::uint64_t>(item.get("wipeLba").as_number()));
      entry.set_wipe_sectors(static_cast<std::uint64_t>(item.get("wipeSectors").as_number()));
      entry.set_errors(static_cast<std::uint32_t>(item.get_number("errors")));
      entries.push_back(std::move(entry));
    }
  } catch (const config::Value::Exception& e) {
    debug_log() << "MainLog.cpp(175): " << e.what() << "\n";
    return false;
  }
  assign(entries);
  return true;
}

bool MainLog::save(const std::string& path) const {
  config::Value list(config::Value::List);
  config::Value::Items& items = list.as_list();
  items.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    config::Value item(config::Value::Object);
    item.set("time", static_cast<long long>(entry.time()));
    item.set("model", entry.model());
    item.set("serial", entry.serial());
    item.set("wipeMethod", entry.wipe_method());
    item.set("wipeLba", static_cast<unsigned long long>(entry.wipe_lba()));
    item.set("wipeSectors", static_cast<unsigned long long>(entry.wipe_sectors()));
    item.set("errors", static_cast<unsigned int>(entry.errors()));
    items.push_back(std::move(item));
  }
  // A history that is a link to a file elsewhere (one that several programs share, say) stays
  // a link: the file it leads to is replaced.
  const std::string text = list.to_string(config::Braces::Omitted, config::Layout::Indented);
  if (!write_file(path, text.data(), text.size(), Links::Follow)) {
    debug_log() << "MainLog.cpp(207)\n";
    return false;
  }
  return true;
}

void MainLog::keep_in(const std::string& path, SaveWatch* watch) {
  keptIn = path;
  saveWatch = watch;
}

bool MainLog::save_kept() const {
  if (keptIn.empty())
    return false;
  const bool saved = save(keptIn);
  if (saveWatch != nullptr)
    saveWatch->saved(keptIn, saved);
  return saved;
}

bool MainLog::can_save_kept(std::string& why) const {
  return keptIn.empty() || file_can_be_replaced(keptIn, Links::Follow, why);
}

namespace {

// `path` + ".bad-" + the local date and time, with "-2", "-3"... until the name is free.
std::string kept_aside_name(const std::string& path) {
  const std::string base =
      path + ".bad-" + format_local_time_or_number(current_time(), "%Y%m%d-%H%M%S");
  std::string name = base;
  for (int n = 2; g_file_test(name.c_str(), G_FILE_TEST_EXISTS) ||
                  g_file_test(name.c_str(), G_FILE_TEST_IS_SYMLINK);
       ++n)
    name = base + "-" + std::to_string(n);
  return name;
}

} // namespace

MainLog::StartLoad MainLog::load_for_start(const std::string& path, std::string& keptAs) {
  // A link to a file not made yet is a first run too: the first save makes that file.
  const std::string file = file_behind_links(path);
  if (!file.empty() && !g_file_test(file.c_str(), G_FILE_TEST_EXISTS) &&
      !g_file_test(file.c_str(), G_FILE_TEST_IS_SYMLINK))
    return StartLoad::FirstRun;
  if (load(path))
    return StartLoad::Loaded;
  const std::string name = kept_aside_name(path);
  if (g_rename(path.c_str(), name.c_str()) != 0) {
    const int error = errno;
    debug_log() << "MainLog.cpp(236): " << path << " cannot be loaded nor renamed to " << name
                << ": " << g_strerror(error) << "\n";
    return StartLoad::CannotKeepAside;
  }
  debug_log() << "MainLog.cpp(230): " << path << " cannot be loaded; kept as " << name << "\n";
  keptAs = name;
  return StartLoad::KeptAside;
}

std::string format_log_time(std::int64_t time) {
  return format_local_time_or_number(time, "%x %X");
}

std::string csv_quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"')
      quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string MainLog::Entry::to_text() const {
  std::string text = "*** " + format_log_time(time_) + " ***";
  text += "\n  ";
  text += gettext("MODEL: ");
  text += model_;
  text += "\n  ";
  text += gettext("SERIAL: ");
  text += serial_;
  text += "\n  ";
  text += gettext("WIPE METHOD: ");
  text += wipeMethod;
  text += "\n  ";
  text += gettext("WIPE LBA: ");
  text += std::to_string(wipeLba);
  text += "\n  ";
  text += gettext("WIPE SECTORS: ");
  text += std::to_string(wipeSectors);
  text += "\n  ";
  text += gettext("ERRORS: ");
  text += std::to_string(errors_);
  return text;
}

std::string MainLog::to_text() const {
  std::string text;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i > 0)
      text += '\n';
    text += entries_[i].to_text();
  }
  return text;
}

namespace {

// The time is written bare, as in every locale whose date and time hold no comma, quote or line
// end; one that does would shift the columns, so it is quoted.
std::string csv_time(std::int64_t time) {
  std::string text = format_log_time(time);
  if (text.find_first_of(",\"\r\n") != std::string::npos)
    return csv_quote(text);
  return text;
}

} // namespace

std::string MainLog::to_csv() const {
  std::string csv = "TIME,MODEL,SERIAL,WIPE METHOD,WIPE LBA,WIPE SECTORS,ERRORS\n";
  for (const Entry& entry : entries_) {
    csv += csv_time(entry.time());
    csv += ',';
    csv += csv_quote(entry.model());
    csv += ',';
    csv += csv_quote(entry.serial());
    csv += ',';
    csv += csv_quote(entry.wipe_method());
    csv += ',';
    csv += std::to_string(entry.wipe_lba());
    csv += ',';
    csv += std::to_string(entry.wipe_sectors());
    csv += ',';
    csv += std::to_string(entry.errors());
    csv += '\n';
  }
  return csv;
}
