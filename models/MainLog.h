// The wipe history: every wipe that reached its end, oldest first, kept in "WipeLog.cfg" beside
// the program and exported as text ("WipeLog.txt") or comma-separated values ("WipeLog.csv").
// One process-wide instance, used on the main loop's thread only.
#pragma once

#include "GuardedFile.h"

#include <cstdint>
#include <string>
#include <vector>

class HistoryFile;

class MainLog {
public:
  // One finished wipe. Times are seconds since 1970 (UTC) in 64 bits.
  class Entry {
  public:
    std::int64_t time() const { return time_; }
    void set_time(std::int64_t time) { time_ = time; }
    const std::string& model() const { return model_; }
    void set_model(const std::string& model) { model_ = model; }
    const std::string& serial() const { return serial_; }
    void set_serial(const std::string& serial) { serial_ = serial; }
    // The method's display name, as translated when the wipe ended.
    const std::string& wipe_method() const { return wipeMethod; }
    void set_wipe_method(const std::string& wipeMethod_) { wipeMethod = wipeMethod_; }
    std::uint64_t wipe_lba() const { return wipeLba; }
    void set_wipe_lba(std::uint64_t lba) { wipeLba = lba; }
    std::uint64_t wipe_sectors() const { return wipeSectors; }
    void set_wipe_sectors(std::uint64_t sectors) { wipeSectors = sectors; }
    std::uint32_t errors() const { return errors_; }
    void set_errors(std::uint32_t errors) { errors_ = errors; }

    // The entry's block of the text export: a "*** time ***" line and six indented lines, no
    // line end after the last.
    std::string to_text() const;

  private:
    std::int64_t time_ = 0;
    std::string model_;
    std::string serial_;
    std::string wipeMethod;
    std::uint64_t wipeLba = 0;
    std::uint64_t wipeSectors = 0;
    std::uint32_t errors_ = 0;
  };

  // Told, synchronously and after the change, of every change of the list.
  class Callback {
  public:
    // The whole list was replaced.
    virtual void reset(const MainLog& log) = 0;
    // One entry was appended; it is the last of entries().
    virtual void added(const MainLog& log) = 0;
    virtual ~Callback() = default;
  };

  // Told how each save to the file the history is kept in went.
  class SaveWatch {
  public:
    // A save to `path` ended: `saved` false when the file could not be written.
    virtual void saved(const std::string& path, bool saved) = 0;
    virtual ~SaveWatch() = default;
  };

  // What load_for_start found; see there.
  enum class StartLoad { Loaded, FirstRun, KeptAside, CannotKeepAside, Refused };

  // The process-wide history, empty at first.
  static MainLog& instance();

  MainLog() = default;

  const std::vector<Entry>& entries() const { return entries_; }
  // Null stops the notifications; the history does not own the callback.
  void set_callback(Callback* callback) { callback_ = callback; }

  // Appends a copy of `entry`, saves the whole history to the file it is kept in (when there
  // is one; see keep_in), then tells the callback.
  void add(const Entry& entry);
  // Replaces every entry by a copy of `entries` (empty clears the history), then tells the
  // callback.
  void assign(const std::vector<Entry>& entries);
  // The newest entry whose model and serial equal the given texts byte for byte; null when
  // there is none or either text is empty.
  const Entry* find(const std::string& model, const std::string& serial) const;

  // Replaces the history by the entries of the file at `path`, all or nothing. Returns false,
  // with a debug-log line and the history unchanged, when the file cannot be read or parsed
  // whole (a NUL byte anywhere in it counts as unparsable), or is of another shape: a top level
  // that is not a List, an item that is not an Object, an entry that lacks a member or holds one
  // of another type.
  bool load(const std::string& path);
  // Writes the whole history to `path` (write_file: in one step, a link there replaced, a path
  // that another user may change refused). Returns false, with a debug-log line, when it cannot.
  bool save(const std::string& path) const;

  // From now on every add saves the whole history to `file` (none: no file, nothing saved),
  // keeping the owner and permissions of the file it replaces, and tells `watch` (when not
  // null; not owned) how the save went, so that a finished wipe is on disk at once rather than
  // only when the program ends.
  void keep_in(const GuardedFile& file, SaveWatch* watch);
  // Saves the whole history to the file it is kept in and tells the watch; false when it could
  // not, or when the history is kept in no file.
  bool save_kept() const;
  // The path of the file the history is kept in; empty when none.
  const std::string& kept_in() const { return keptIn.path(); }
  // Whether the next save to the file the history is kept in can succeed (see
  // GuardedFile::can_replace), trying it without changing the file; `why` receives the reason
  // when not. True when the history is kept in no file.
  bool can_save_kept(std::string& why) const;

  // The history file at the start of the program, where the history is saved back at the end:
  // - Loaded: the file's entries are the history.
  // - FirstRun: there is no file (nor one that the link there leads to); the history is left
  //   as it is.
  // - KeptAside: the file could not be loaded (as load returns false); what stands at its name
  //   in the program folder (the link, when it is one) has been renamed to that name + ".bad-"
  //   + the local date and time (and "-2", "-3"... when that name is taken), which `keptAs`
  //   receives and the debug log names, and the history is kept in the program folder from now
  //   on, so that saving loses nothing.
  // - CannotKeepAside: the file could not be loaded and could not be renamed (logged): the
  //   caller must not save to it, which would destroy it.
  // - Refused: the history was refused (HistoryFile); nothing has been read.
  StartLoad load_for_start(HistoryFile& history, std::string& keptAs);

  // The text export: the blocks of all entries, one line feed between two, none at the end.
  std::string to_text() const;
  // The comma-separated export: a header line, then one line per entry; every line ends with
  // a line feed.
  std::string to_csv() const;

private:
  // Replaces the history by the entries in `text`, as load does.
  bool load_text(const std::string& text);
  // The history's file text.
  std::string file_text() const;

  std::vector<Entry> entries_;
  Callback* callback_ = nullptr;
  GuardedFile keptIn;
  SaveWatch* saveWatch = nullptr;
};

// `time` as the current locale writes a date and a time ("%x %X"), or the number when it cannot
// be written so.
std::string format_log_time(std::int64_t time);

// `text` in double quotes, each double quote inside it doubled.
std::string csv_quote(const std::string& text);
