#include "MainLog.h"

#include "ConfigValue.h"
#include "DebugLog.h"
#include "Files.h"
#include "HistoryFile.h"
#include "LocalTime.h"

#include <glib.h>
#include <libintl.h>

#include <cerrno>
#include <ostream>

MainLog& MainLog::instance() {
  static MainLog log;
  return log;
}

void MainLog::add(const Entry& entry) {
  entries_.push_back(entry);
  if (!keptIn.path().empty())
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
  return load_text(text);
}

bool MainLog::load_text(const std::string& text) {
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

std::string MainLog::file_text() const {
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
  return list.to_string(config::Braces::Omitted, config::Layout::Indented);
}

bool MainLog::save(const std::string& path) const {
  const std::string text = file_text();
  if (!write_file(path, text.data(), text.size())) {
    debug_log() << "MainLog.cpp(207)\n";
    return false;
  }
  return true;
}

void MainLog::keep_in(const GuardedFile& file, SaveWatch* watch) {
  keptIn = file;
  saveWatch = watch;
}

bool MainLog::save_kept() const {
  if (keptIn.path().empty())
    return false;
  // A file that others share (through the administrator's link) keeps its owner and
  // permissions: a save by the root program would otherwise take it from them.
  const std::string text = file_text();
  const bool saved = keptIn.replace(text.data(), text.size(), Ownership::Kept);
  if (!saved)
    debug_log() << "MainLog.cpp(207)\n";
  if (saveWatch != nullptr)
    saveWatch->saved(keptIn.path(), saved);
  return saved;
}

bool MainLog::can_save_kept(std::string& why) const {
  return keptIn.path().empty() || keptIn.can_replace(why);
}

namespace {

// The name of the file `place` + ".bad-" + the local date and time, with "-2", "-3"... until
// nothing stands at it in the file's folder.
std::string kept_aside_name(const GuardedFile& place) {
  const std::string base =
      place.name() + ".bad-" + format_local_time_or_number(current_time(), "%Y%m%d-%H%M%S");
  std::string name = base;
  Standing standing = Standing::Nothing;
  for (int n = 2;
       standing_at(place.folder(), name.c_str(), standing) != 0 || standing != Standing::Nothing;
       ++n)
    name = base + "-" + std::to_string(n);
  return name;
}

} // namespace

MainLog::StartLoad MainLog::load_for_start(HistoryFile& history, std::string& keptAs) {
  if (history.refused())
    return StartLoad::Refused;
  // A link to a file not made yet is a first run too: the first save makes that file.
  const GuardedFile& file = history.file();
  if (file.standing() == Standing::Nothing)
    return StartLoad::FirstRun;
  std::string text;
  if (file.read(text)) {
    if (load_text(text))
      return StartLoad::Loaded;
  } else {
    debug_log() << "MainLog.cpp(148)\n";
  }
  const GuardedFile place = history.place();
  const std::string name = kept_aside_name(place);
  // The path of the name in the same folder.
  const std::string aside =
      place.path().substr(0, place.path().size() - place.name().size()) + name;
  if (!history.keep_aside(name)) {
    const int error = errno;
    debug_log() << "MainLog.cpp(236): " << place.path() << " cannot be loaded nor renamed to "
                << aside << ": " << g_strerror(error) << "\n";
    return StartLoad::CannotKeepAside;
  }
  debug_log() << "MainLog.cpp(230): " << place.path() << " cannot be loaded; kept as " << aside
              << "\n";
  keptAs = aside;
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
