#include "MainLog.h"

#include "ConfigValue.h"
#include "Files.h"
#include "HistoryFile.h"

#include "Bytes.h"
#include "FixedClockText.h"
#include "LogCapture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>

namespace {

MainLog::Entry entry(std::int64_t time, const std::string& model, const std::string& serial,
                     const std::string& method, std::uint64_t lba, std::uint64_t sectors,
                     std::uint32_t errors) {
  MainLog::Entry e;
  e.set_time(time);
  e.set_model(model);
  e.set_serial(serial);
  e.set_wipe_method(method);
  e.set_wipe_lba(lba);
  e.set_wipe_sectors(sectors);
  e.set_errors(errors);
  return e;
}

std::string describe(const MainLog::Entry& e) {
  return std::to_string(e.time()) + "|" + e.model() + "|" + e.serial() + "|" + e.wipe_method() +
         "|" + std::to_string(e.wipe_lba()) + "|" + std::to_string(e.wipe_sectors()) + "|" +
         std::to_string(e.errors());
}

std::vector<std::string> describe(const std::vector<MainLog::Entry>& entries) {
  std::vector<std::string> texts;
  for (const MainLog::Entry& e : entries)
    texts.push_back(describe(e));
  return texts;
}

// Counts the observer's calls and checks that each comes after the change.
class Observer : public MainLog::Callback {
public:
  void reset(const MainLog& log) override {
    ++resets;
    sizes.push_back(log.entries().size());
  }
  void added(const MainLog& log) override {
    ++adds;
    sizes.push_back(log.entries().size());
  }
  int resets = 0;
  int adds = 0;
  std::vector<std::size_t> sizes;
};

std::string read(const std::string& path) {
  std::string text;
  EXPECT_TRUE(read_file(path, text)) << path;
  return text;
}

void write(const std::string& path, const std::string& text) {
  ASSERT_TRUE(write_file(path, text.data(), text.size())) << path;
}

class MainLogTest : public ::testing::Test {
protected:
  void SetUp() override { use_fixed_zone_and_locale(); }
  TempDir dir;
  std::string path = dir.file("WipeLog.cfg");
};

const MainLog::Entry plain =
    entry(1700000000, "WDC WD10EZEX", "WD-1234", "Forward", 0, 1953525168, 3);

const char plain_member_lines[] = "    \"errors\":3,\n"
                                  "    \"model\":\"WDC WD10EZEX\",\n"
                                  "    \"serial\":\"WD-1234\",\n"
                                  "    \"time\":1700000000,\n"
                                  "    \"wipeLba\":0,\n"
                                  "    \"wipeMethod\":\"Forward\",\n"
                                  "    \"wipeSectors\":1953525168\n";

} // namespace

TEST_F(MainLogTest, FileIsWrittenByteForByteAndReadsBack) {
  struct Case {
    const char* name;
    std::vector<MainLog::Entry> entries;
    std::string file;
  };
  const Case cases[] = {
      {"empty", {}, "[\n]"},
      {"one entry", {plain}, std::string("[\n  {\n") + plain_member_lines + "  }\n]"},
      {"texts outside ASCII, quote and backslash",
       {entry(5, "Disk \xc3\xa9\"x\\", "S\tN\x01", "G\xc3\xbctmann", 1, 2, 0)},
       "[\n  {\n"
       "    \"errors\":0,\n"
       "    \"model\":\"Disk \\xc3\\xa9\\\"x\\\\\",\n"
       "    \"serial\":\"S\\tN\\x01\",\n"
       "    \"time\":5,\n"
       "    \"wipeLba\":1,\n"
       "    \"wipeMethod\":\"G\\xc3\\xbctmann\",\n"
       "    \"wipeSectors\":2\n"
       "  }\n]"},
      {"times before 1970 and after 2038, all 64 bits of a sector number",
       {entry(-86400, "A", "1", "Reverse", 0xFFFFFFFFFFFFFFFFull, 7, 0xFFFFFFFFu),
        entry(4294967301LL, "B", "2", "Gutmann", 9, 0, 0)},
       "[\n  {\n"
       "    \"errors\":4294967295,\n"
       "    \"model\":\"A\",\n"
       "    \"serial\":\"1\",\n"
       "    \"time\":-86400,\n"
       "    \"wipeLba\":-1,\n"
       "    \"wipeMethod\":\"Reverse\",\n"
       "    \"wipeSectors\":7\n"
       "  },\n  {\n"
       "    \"errors\":0,\n"
       "    \"model\":\"B\",\n"
       "    \"serial\":\"2\",\n"
       "    \"time\":4294967301,\n"
       "    \"wipeLba\":9,\n"
       "    \"wipeMethod\":\"Gutmann\",\n"
       "    \"wipeSectors\":0\n"
       "  }\n]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MainLog log;
    log.assign(c.entries);
    ASSERT_TRUE(log.save(path));
    const std::string written = read(path);
    EXPECT_EQ(first_difference(written, c.file), "") << written;

    MainLog loaded;
    loaded.add(entry(1, "old", "old", "old", 0, 0, 0));
    Observer observer;
    loaded.set_callback(&observer);
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(describe(loaded.entries()), describe(c.entries));
    EXPECT_EQ(observer.resets, 1);
    EXPECT_EQ(observer.adds, 0);
  }
}

TEST_F(MainLogTest, SaveReplacesTheFileInOneStep) {
  MainLog log;
  log.add(plain);
  write(path, "previous");
  // A second name for the old file keeps its bytes only when the new file is a new one put in
  // place by a rename, not the old one truncated and rewritten.
  std::filesystem::create_hard_link(path, dir.file("link"));
  ASSERT_TRUE(log.save(path));
  EXPECT_EQ(read(dir.file("link")), "previous");
  EXPECT_NE(read(path), "previous");

  LogCapture capture;
  EXPECT_FALSE(log.save(dir.file("no/such/dir/WipeLog.cfg")));
  EXPECT_TRUE(capture.text().ends_with("\nMainLog.cpp(207)\n")) << capture.text();
  EXPECT_EQ(log.entries().size(), 1u);
}

// A history kept in a file is on disk as soon as an entry is added, before the observer hears
// of it; the watch hears how each save went. One kept in no file writes nothing.
TEST_F(MainLogTest, EachEntryIsSavedToTheFileTheHistoryIsKeptIn) {
  class Watch : public MainLog::SaveWatch {
  public:
    void saved(const std::string& path, bool saved) override {
      told.push_back(path + (saved ? " saved" : " failed"));
    }
    std::vector<std::string> told;
  };
  class OnDisk : public MainLog::Callback {
  public:
    explicit OnDisk(const std::string& path) : path(path) {}
    void reset(const MainLog&) override {}
    void added(const MainLog& log) override {
      MainLog read;
      EXPECT_TRUE(read.load(path));
      EXPECT_EQ(describe(read.entries()), describe(log.entries()));
    }
    std::string path;
  };
  MainLog log;
  Watch watch;
  OnDisk onDisk(path);
  log.add(plain); // kept in no file yet
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(log.save_kept());

  log.keep_in(GuardedFile::in_folder(dir.path(), "WipeLog.cfg"), &watch);
  log.set_callback(&onDisk);
  log.add(entry(1, "A", "1", "Forward", 0, 8, 0));
  log.add(entry(2, "B", "2", "Forward", 0, 8, 0));
  EXPECT_EQ(watch.told, (std::vector<std::string>{path + " saved", path + " saved"}));
  log.set_callback(nullptr);

  // A file that cannot be written: the entry stays in memory, the watch hears of it.
  const GuardedFile unwritable = GuardedFile::in_folder(dir.file("no/such/dir"), "WipeLog.cfg");
  log.keep_in(unwritable, &watch);
  LogCapture capture;
  log.add(entry(3, "C", "3", "Forward", 0, 8, 0));
  EXPECT_EQ(watch.told.back(), unwritable.path() + " failed");
  EXPECT_EQ(capture.text(), "MainLog.cpp(207)\n");
  EXPECT_EQ(log.entries().size(), 4u);

  log.keep_in(GuardedFile(), nullptr);
  log.add(plain);
  EXPECT_EQ(watch.told.size(), 3u);
  MainLog read;
  ASSERT_TRUE(read.load(path));
  EXPECT_EQ(read.entries().size(), 3u);
}

// Whatever the file holds, a load that fails is false and changes nothing: a file of the wrong
// shape is one that cannot be loaded, as an unreadable one is.
TEST_F(MainLogTest, LoadIsAllOrNothing) {
  struct Case {
    const char* name;
    std::optional<std::string> file; // none: no file at all
    const char* detail;              // the last log line
  };
  const std::string member_lines =
      "\"model\":\"m\",\"serial\":\"s\",\"wipeMethod\":\"w\",\"wipeLba\":0,\"wipeSectors\":0";
  // clang-format off
  const Case cases[] = {
      {"missing file", std::nullopt, "MainLog.cpp(148)\n"},
      {"a NUL byte after a whole history", std::string("[\n]\0[\n]", 7),
       "MainLog.cpp(156): a NUL byte at offset 3\n"},
      {"not parsable", "[ {\"time\":1,", "MainLog.cpp(153)\n"},
      {"a text alone", "\"str\"", "MainLog.cpp(153)\n"},
      {"entry without errors", "[{\"time\":1," + member_lines + "}]",
       "MainLog.cpp(175): \"errors\" is not found\n"},
      {"entry without time", "[{\"errors\":1," + member_lines + "}]",
       "MainLog.cpp(175): \"time\" is not found\n"},
      {"an empty entry", "[{}]", "MainLog.cpp(175): \"time\" is not found\n"},
      {"model a Number", "[{\"time\":1,\"model\":1}]",
       "MainLog.cpp(175): \"model\" is Number, not String\n"},
      {"errors a String, after a good entry",
       "[{\"time\":1," + member_lines + ",\"errors\":0},{\"time\":1," + member_lines +
           ",\"errors\":\"0\"}]",
       "MainLog.cpp(175): \"errors\" is String, not Number\n"},
      // Valid text of the wrong shape.
      {"top level an Object", "{\"a\":1}", "MainLog.cpp(175): ConfigValue.cpp(68)\n"},
      {"item a Number", "[1]", "MainLog.cpp(175): ConfigValue.cpp(115)\n"},
      {"item a String", "[\"x\"]", "MainLog.cpp(175): ConfigValue.cpp(115)\n"},
      {"item a List", "[[1]]", "MainLog.cpp(175): ConfigValue.cpp(115)\n"},
      {"time a String", "[{\"time\":\"x\"}]", "MainLog.cpp(175): ConfigValue.cpp(50)\n"},
      {"wipeSectors a Boolean",
       "[{\"time\":1,\"model\":\"m\",\"serial\":\"s\",\"wipeMethod\":\"w\",\"wipeLba\":0,"
       "\"wipeSectors\":true,\"errors\":0}]",
       "MainLog.cpp(175): ConfigValue.cpp(50)\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.file(std::string(c.name) + ".cfg");
    if (c.file)
      write(file, *c.file);
    MainLog log;
    log.add(plain);
    Observer observer;
    log.set_callback(&observer);
    LogCapture capture;
    try {
      EXPECT_FALSE(log.load(file));
      EXPECT_TRUE(capture.text().ends_with(c.detail)) << capture.text();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "an exception left load: " << e.what();
    }
    EXPECT_EQ(describe(log.entries()), describe(std::vector<MainLog::Entry>{plain}));
    EXPECT_EQ(observer.resets + observer.adds, 0);
  }
}

TEST_F(MainLogTest, UnknownMembersAreDroppedAtTheNextSave) {
  write(path, "// written by hand\n[{\"time\":1700000000,\"model\":\"WDC WD10EZEX\","
              "\"serial\":\"WD-1234\",\"wipeMethod\":\"Forward\",\"wipeLba\":0,"
              "\"wipeSectors\":1953525168,\"errors\":3,\"note\":\"extra\"}]");
  MainLog log;
  ASSERT_TRUE(log.load(path));
  ASSERT_TRUE(log.save(path));
  EXPECT_EQ(read(path), std::string("[\n  {\n") + plain_member_lines + "  }\n]");
}

TEST(MainLog, FindTakesTheNewestWithBothTexts) {
  MainLog log;
  Observer observer;
  log.set_callback(&observer);
  log.add(entry(1, "M", "S", "Forward", 0, 1, 0));
  log.add(entry(2, "M", "", "Forward", 0, 1, 0));
  log.add(entry(3, "M", "S", "Gutmann", 0, 1, 0));
  log.add(entry(4, "M", "s", "Reverse", 0, 1, 0));
  EXPECT_EQ(observer.adds, 4);
  EXPECT_EQ(observer.sizes, (std::vector<std::size_t>{1, 2, 3, 4}));

  ASSERT_NE(log.find("M", "S"), nullptr);
  EXPECT_EQ(log.find("M", "S")->time(), 3);
  EXPECT_EQ(log.find("M", "s")->time(), 4);
  EXPECT_EQ(log.find("M", ""), nullptr);
  EXPECT_EQ(log.find("", "S"), nullptr);
  EXPECT_EQ(log.find("M", "S "), nullptr);
  EXPECT_EQ(log.find("m", "S"), nullptr);

  log.assign({});
  EXPECT_EQ(observer.resets, 1);
  EXPECT_TRUE(log.entries().empty());
  EXPECT_EQ(log.find("M", "S"), nullptr);
  EXPECT_EQ(&MainLog::instance(), &MainLog::instance());
}

TEST_F(MainLogTest, TextExport) {
  MainLog log;
  EXPECT_EQ(log.to_text(), "");
  log.add(plain);
  log.add(entry(4294967301LL, "Disk, \"quoted\"", "", "Gutmann", 9, 0, 0));
  EXPECT_EQ(log.entries()[0].to_text(), "*** 11/14/23 23:13:20 ***\n"
                                        "  MODEL: WDC WD10EZEX\n"
                                        "  SERIAL: WD-1234\n"
                                        "  WIPE METHOD: Forward\n"
                                        "  WIPE LBA: 0\n"
                                        "  WIPE SECTORS: 1953525168\n"
                                        "  ERRORS: 3");
  EXPECT_EQ(log.to_text(), log.entries()[0].to_text() + "\n" +
                               "*** 02/07/06 07:28:21 ***\n"
                               "  MODEL: Disk, \"quoted\"\n"
                               "  SERIAL: \n"
                               "  WIPE METHOD: Gutmann\n"
                               "  WIPE LBA: 9\n"
                               "  WIPE SECTORS: 0\n"
                               "  ERRORS: 0");
}

TEST(MainLog, CsvQuote) {
  EXPECT_EQ(csv_quote(""), "\"\"");
  EXPECT_EQ(csv_quote("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(csv_quote("a,b"), "\"a,b\"");
  EXPECT_EQ(csv_quote("\"\""), "\"\"\"\"\"\"");
}

namespace {

// The rows of a CSV file as Python's csv module reads them; empty when Python is missing.
std::vector<std::vector<std::string>> read_csv_with_python(const std::string& path) {
  gchar* python = g_find_program_in_path("python3");
  if (python == nullptr)
    return {};
  const char* script = "import csv, json, sys\n"
                       "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                       "    print(json.dumps(list(csv.reader(f))))\n";
  const gchar* argv[] = {python, "-c", script, path.c_str(), nullptr};
  gchar* out = nullptr;
  gint status = 0;
  const bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT,
                                nullptr, nullptr, &out, nullptr, &status, nullptr);
  g_free(python);
  std::vector<std::vector<std::string>> rows;
  config::Value value;
  const bool parsed = ran && status == 0 && value.parse(out);
  g_free(out);
  EXPECT_TRUE(parsed) << "python's csv reader failed";
  if (!parsed)
    return rows;
  for (const config::Value& row : value.as_list()) {
    rows.emplace_back();
    for (const config::Value& field : row.as_list())
      rows.back().push_back(field.as_string());
  }
  return rows;
}

} // namespace

TEST_F(MainLogTest, CsvExportReadsBackAsTheSameFields) {
  MainLog log;
  EXPECT_EQ(log.to_csv(), "TIME,MODEL,SERIAL,WIPE METHOD,WIPE LBA,WIPE SECTORS,ERRORS\n");
  log.add(plain);
  log.add(entry(-1, "Disk, \"fast\"", "line\nbreak", "DoD 5220.22-M (C)", 0xFFFFFFFFFFFFFFFFull, 12,
                4294967295u));
  log.add(entry(4294967301LL, "Gro\xc3\x9f", "", "Gutmann", 9, 0, 0));
  const std::string csv = log.to_csv();
  EXPECT_EQ(csv, "TIME,MODEL,SERIAL,WIPE METHOD,WIPE LBA,WIPE SECTORS,ERRORS\n"
                 "11/14/23 23:13:20,\"WDC WD10EZEX\",\"WD-1234\",\"Forward\",0,1953525168,3\n"
                 "01/01/70 00:59:59,\"Disk, \"\"fast\"\"\",\"line\nbreak\",\"DoD 5220.22-M (C)\","
                 "18446744073709551615,12,4294967295\n"
                 "02/07/06 07:28:21,\"Gro\xc3\x9f\",\"\",\"Gutmann\",9,0,0\n");

  const std::string file = dir.file("WipeLog.csv");
  write(file, csv);
  const auto rows = read_csv_with_python(file);
  if (rows.empty())
    GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::vector<std::string>> expected = {
      {"TIME", "MODEL", "SERIAL", "WIPE METHOD", "WIPE LBA", "WIPE SECTORS", "ERRORS"},
      {"11/14/23 23:13:20", "WDC WD10EZEX", "WD-1234", "Forward", "0", "1953525168", "3"},
      {"01/01/70 00:59:59", "Disk, \"fast\"", "line\nbreak", "DoD 5220.22-M (C)",
       "18446744073709551615", "12", "4294967295"},
      {"02/07/06 07:28:21", "Gro\xc3\x9f", "", "Gutmann", "9", "0", "0"},
  };
  EXPECT_EQ(rows, expected);
}

TEST_F(MainLogTest, StartKeepsAsideAFileItCannotLoad) {
  MainLog good;
  good.add(plain);
  ASSERT_TRUE(good.save(dir.file("good.cfg")));

  struct Case {
    const char* name;
    std::string file; // empty: no file
    MainLog::StartLoad outcome;
    std::size_t entries;
  };
  const Case cases[] = {
      {"first run", "", MainLog::StartLoad::FirstRun, 0},
      {"good file", read(dir.file("good.cfg")), MainLog::StartLoad::Loaded, 1},
      {"cut short", read(dir.file("good.cfg")).substr(0, 40), MainLog::StartLoad::KeptAside, 0},
      {"entry without errors",
       "[{\"time\":1,\"model\":\"m\",\"serial\":\"s\",\"wipeMethod\":\"w\",\"wipeLba\":0,"
       "\"wipeSectors\":0}]",
       MainLog::StartLoad::KeptAside, 0},
      {"empty file", "", MainLog::StartLoad::KeptAside, 0},
      // What comes before the NUL reads as a whole history; the part after it must not be lost.
      {"a NUL byte after a whole history",
       read(dir.file("good.cfg")) + std::string(1, '\0') + read(dir.file("good.cfg")),
       MainLog::StartLoad::KeptAside, 0},
      // Valid text of the wrong shape costs no start either.
      {"an Object", "{\"a\":1}", MainLog::StartLoad::KeptAside, 0},
      {"a list of Numbers", "[1]", MainLog::StartLoad::KeptAside, 0},
      {"a list of texts", "[\"x\"]", MainLog::StartLoad::KeptAside, 0},
      {"a list of lists", "[[1]]", MainLog::StartLoad::KeptAside, 0},
      {"a time that is a text", "[{\"time\":\"x\"}]", MainLog::StartLoad::KeptAside, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir program;
    const std::string file = program.file("WipeLog.cfg");
    const bool exists = c.outcome != MainLog::StartLoad::FirstRun;
    if (exists)
      write(file, c.file);
    MainLog log;
    std::string keptAs;
    LogCapture capture;
    HistoryFile history(program.path());
    try {
      EXPECT_EQ(log.load_for_start(history, keptAs), c.outcome);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "an exception left the start: " << e.what();
    }
    EXPECT_EQ(log.entries().size(), c.entries);
    if (c.outcome != MainLog::StartLoad::KeptAside) {
      EXPECT_EQ(keptAs, "");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program.path()),
                              std::filesystem::directory_iterator()),
                exists ? 1 : 0);
      continue;
    }
    // The bad file is whole under its new name, and the save at the end loses nothing.
    EXPECT_EQ(keptAs.rfind(file + ".bad-", 0), 0u) << keptAs;
    EXPECT_EQ(read(keptAs), c.file);
    EXPECT_NE(capture.text().find("MainLog.cpp(230): " + file + " cannot be loaded; kept as " +
                                  keptAs + "\n"),
              std::string::npos)
        << capture.text();
    log.keep_in(history.file(), nullptr);
    log.add(plain);
    EXPECT_EQ(read(file), read(dir.file("good.cfg")));
    EXPECT_EQ(read(keptAs), c.file);

    // A second bad file in the same second gets a name of its own.
    write(file, "not a history");
    std::string second;
    HistoryFile again(program.path());
    EXPECT_EQ(log.load_for_start(again, second), MainLog::StartLoad::KeptAside);
    EXPECT_NE(second, keptAs);
    EXPECT_EQ(read(keptAs), c.file);
    EXPECT_EQ(read(second), "not a history");
  }
}

// A history that is a link to a file elsewhere (shared by several programs, say) stays what the
// administrator made it: it loads through the link and every save lands in the file it leads
// to, which keeps its permissions.
TEST_F(MainLogTest, ALinkedHistoryIsSavedThroughItsLink) {
  namespace fs = std::filesystem;
  TempDir shared;
  const std::string target = fs::canonical(shared.path()).string() + "/all wipes.cfg";
  MainLog earlier;
  earlier.add(entry(1, "A", "1", "Forward", 0, 8, 0));
  ASSERT_TRUE(earlier.save(target));
  ASSERT_EQ(chmod(target.c_str(), 0664), 0);
  fs::create_symlink(target, path);

  MainLog log;
  std::string keptAs;
  HistoryFile history(dir.path());
  EXPECT_TRUE(history.linked());
  EXPECT_EQ(history.file().path(), target);
  ASSERT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::Loaded);
  log.keep_in(history.file(), nullptr);
  log.add(entry(2, "B", "2", "Forward", 0, 8, 0));
  EXPECT_TRUE(fs::is_symlink(path));
  MainLog read;
  ASSERT_TRUE(read.load(target));
  EXPECT_EQ(describe(read.entries()), describe(log.entries()));
  EXPECT_EQ(read.entries().size(), 2u);
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0664u);

  // A link to a file not made yet, relative to the program folder, is a first run; the first
  // save makes the file.
  const std::string later = fs::canonical(shared.path()).string() + "/later.cfg";
  fs::remove(path);
  fs::create_symlink(fs::relative(later, fs::canonical(dir.path())), path);
  MainLog fresh;
  HistoryFile laterHistory(fs::canonical(dir.path()).string());
  EXPECT_EQ(fresh.load_for_start(laterHistory, keptAs), MainLog::StartLoad::FirstRun);
  fresh.keep_in(laterHistory.file(), nullptr);
  fresh.add(plain);
  EXPECT_TRUE(fs::is_symlink(path));
  ASSERT_TRUE(read.load(later));
  EXPECT_EQ(read.entries().size(), 1u);
}

// A pipe, or a link to a device, in place of the history is refused at once, as a file that
// cannot be read: what stands in the program folder is kept aside as it is (a link stays a
// link, and what it leads to is left alone), and a new history starts there.
TEST_F(MainLogTest, StartKeepsAsideWhatIsNoFile) {
  namespace fs = std::filesystem;
  for (const char* odd : {"named pipe", "link to /dev/zero"}) {
    SCOPED_TRACE(odd);
    TempDir program;
    const std::string file = program.file("WipeLog.cfg");
    const bool pipe = std::string(odd) == "named pipe";
    if (pipe)
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    else
      fs::create_symlink("/dev/zero", file);
    MainLog log;
    std::string keptAs;
    HistoryFile history(program.path());
    EXPECT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::KeptAside);
    EXPECT_TRUE(pipe ? fs::is_fifo(keptAs) : fs::read_symlink(keptAs) == "/dev/zero");
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    log.keep_in(history.file(), nullptr);
    log.add(plain);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
  }
}

TEST_F(MainLogTest, StartRefusesToLoseAFileItCannotRename) {
  // A file that cannot be parsed, in a folder where nothing can be renamed, even by root.
  HistoryFile history("/proc/self", "status");
  MainLog log;
  std::string keptAs = "unchanged";
  LogCapture capture;
  EXPECT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::CannotKeepAside);
  EXPECT_EQ(keptAs, "unchanged");
  EXPECT_NE(capture.text().find("MainLog.cpp(236): /proc/self/status cannot be loaded nor "
                                "renamed to /proc/self/status.bad-"),
            std::string::npos)
      << capture.text();
}

namespace {

// A root-only folder with a file in it, a shared folder, and a program folder whose history
// is a link to "history.cfg" in the shared folder; and the swap an ordinary user who may
// change the shared folder makes while the program runs.
class LinkedHistory {
public:
  LinkedHistory() {
    namespace fs = std::filesystem;
    top = fs::canonical(dir.path()).string();
    ::chmod(top.c_str(), 0755);
    fs::create_directory(rootOnly());
    ::chmod(rootOnly().c_str(), 0700);
    std::ofstream(rootOnly() + "/victim") << "secret";
    ::chmod((rootOnly() + "/victim").c_str(), 0600);
    fs::create_directory(share());
    fs::create_directory(program());
    fs::create_symlink(share() + "/history.cfg", program() + "/WipeLog.cfg");
  }
  std::string rootOnly() const { return top + "/root-only"; }
  std::string share() const { return top + "/share"; }
  std::string program() const { return top + "/program"; }
  // ln -s target share/tmp.lnk && mv -T share/tmp.lnk share/history.cfg
  void swap_to(const std::string& target) const {
    std::filesystem::create_symlink(target, share() + "/tmp.lnk");
    std::filesystem::rename(share() + "/tmp.lnk", share() + "/history.cfg");
  }
  // What the root-only folder holds: names and texts.
  std::string root_only_files() const {
    std::string listing;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(rootOnly()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
      listing += name + "=" + read(rootOnly() + "/" + name) + ";";
    return listing;
  }

  TempDir dir;
  std::string top;
};

} // namespace

// The administrator's link leads into a folder that another user may change: the history is
// refused with the reason, nothing is read from it, and nothing is written anywhere when that
// user swaps the file for a link to a root-only file or to a new name in a root-only folder
// before the saves. Folders of another user need root.
TEST_F(MainLogTest, ALinkIntoAFolderOfAnotherUserIsRefused) {
  if (geteuid() != 0)
    GTEST_SKIP() << "folders of another user need root";
  const struct {
    const char* name;
    std::function<void(const LinkedHistory&)> prepare;
    std::string why; // after "it leads to <share>/history.cfg: "
  } cases[] = {
      {"a folder of another user",
       [](const LinkedHistory& h) { ASSERT_EQ(chown(h.share().c_str(), 65534, 65534), 0); },
       "another user may change the folder "},
      {"a folder anyone may write",
       [](const LinkedHistory& h) { ASSERT_EQ(chmod(h.share().c_str(), 0777), 0); },
       "another user may change the folder "},
      {"a sticky folder and another user's file",
       [](const LinkedHistory& h) {
         ASSERT_EQ(chmod(h.share().c_str(), 01777), 0);
         std::ofstream(h.share() + "/history.cfg") << "[\n]";
         ASSERT_EQ(chown((h.share() + "/history.cfg").c_str(), 65534, 65534), 0);
       },
       "another user may change the folder "},
  };
  for (const char* victim : {"victim", "new.cfg"})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", then a link to " + victim);
      const LinkedHistory h;
      c.prepare(h);
      const std::string before = h.root_only_files();
      MainLog log;
      log.add(plain);
      HistoryFile history(h.program());
      ASSERT_TRUE(history.refused());
      EXPECT_EQ(history.file().reason(),
                "it leads to " + h.share() + "/history.cfg: " + c.why + h.share());
      std::string keptAs;
      EXPECT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::Refused);
      EXPECT_EQ(log.entries().size(), 1u);

      h.swap_to(h.rootOnly() + "/" + victim);
      log.keep_in(history.file(), nullptr);
      std::string why;
      EXPECT_FALSE(log.can_save_kept(why));
      EXPECT_EQ(why, history.file().reason());
      log.add(plain);
      EXPECT_FALSE(log.save_kept());
      EXPECT_EQ(h.root_only_files(), before);
      EXPECT_TRUE(std::filesystem::is_symlink(h.share() + "/history.cfg"));
      EXPECT_TRUE(std::filesystem::is_symlink(h.program() + "/WipeLog.cfg"));
    }
}

// The administrator's link is followed once, to a file that is no link itself: a link there
// is refused, and a link swapped in afterwards (in the file's place, or in place of its folder)
// redirects no save.
TEST_F(MainLogTest, OnlyTheAdministratorsLinkIsFollowedAndOnlyOnce) {
  namespace fs = std::filesystem;
  {
    const LinkedHistory h;
    h.swap_to(h.rootOnly() + "/victim");
    HistoryFile history(h.program());
    ASSERT_TRUE(history.refused());
    EXPECT_EQ(history.file().reason(),
              "it leads to " + h.share() + "/history.cfg, which is a link itself");
    EXPECT_EQ(history.file().path(), h.program() + "/WipeLog.cfg");
    MainLog log;
    std::string keptAs;
    EXPECT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::Refused);
    EXPECT_EQ(log.entries().size(), 0u);
  }
  const struct {
    const char* name;
    bool folder; // the folder swapped, else the file
    const char* victim;
  } swaps[] = {{"the file for a link to a root-only file", false, "victim"},
               {"the file for a link to a new name in a root-only folder", false, "new.cfg"},
               {"the folder for a link to a root-only folder", true, ""}};
  for (const auto& swap : swaps) {
    SCOPED_TRACE(swap.name);
    const LinkedHistory h;
    MainLog earlier;
    earlier.add(plain);
    ASSERT_TRUE(earlier.save(h.share() + "/history.cfg"));
    const std::string before = h.root_only_files();
    HistoryFile history(h.program());
    ASSERT_FALSE(history.refused());
    MainLog log;
    std::string keptAs;
    ASSERT_EQ(log.load_for_start(history, keptAs), MainLog::StartLoad::Loaded);
    log.keep_in(history.file(), nullptr);
    std::string saved = h.share() + "/history.cfg";
    if (swap.folder) {
      fs::rename(h.share(), h.share() + ".moved");
      fs::create_directory_symlink(h.rootOnly(), h.share());
      saved = h.share() + ".moved/history.cfg";
    } else {
      h.swap_to(h.rootOnly() + "/" + swap.victim);
    }
    log.add(entry(2, "B", "2", "Forward", 0, 8, 0));
    EXPECT_EQ(h.root_only_files(), before);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(saved)));
    MainLog read;
    ASSERT_TRUE(read.load(saved));
    EXPECT_EQ(read.entries().size(), 2u);
  }
}
