#include "app/DebugSinks.h"

#include "DebugLog.h"
#include "Files.h"
#include "TempDir.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <string>
#include <vector>

namespace {

// Where the line written after the choice arrived.
struct Landed {
  bool memory = false;
  bool console = false;
  std::string file; // the file's content, "(none)" when it does not exist
};

Landed choose_and_write(std::vector<std::string> arguments, const std::string& file) {
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string before = debug_log_text();
  testing::internal::CaptureStderr();
  choose_debug_sink(static_cast<int>(arguments.size()), argv.data());
  debug_log() << "Test.cpp(1): line\n";
  Landed landed;
  landed.console = testing::internal::GetCapturedStderr().find("Test.cpp(1)") != std::string::npos;
  landed.memory = debug_log_text().size() > before.size();
  if (!read_file(file, landed.file))
    landed.file = "(none)";
  set_debug_log(std::cerr);
  return landed;
}

} // namespace

TEST(DebugSinks, TheLastDbgArgumentChoosesTheSink) {
  TempDir dir;
  const std::string file = dir.file("CVW.log");
  const std::string line = "Test.cpp(1): line\n";
  const struct {
    std::vector<std::string> arguments;
    const char* name;
    bool memory;
    bool console;
    const char* fileContent; // nullptr: the line
  } cases[] = {
      {{"wipedesk"}, "ostringstream", true, false, "(none)"},
      {{"wipedesk", "other", "dbg"}, "ostringstream", true, false, "(none)"},
      {{"dbg=null"}, "ostringstream", true, false, "(none)"}, // the program's own name
      {{"wipedesk", "dbg=ostringstream"}, "ostringstream", true, false, "(none)"},
      {{"wipedesk", "dbg=null"}, "null", false, false, "(none)"},
      {{"wipedesk", "dbg=stderr"}, "stderr", false, true, "(none)"},
      {{"wipedesk", "dbg=" + file}, "ofstream", false, false, nullptr},
      {{"wipedesk", "dbg=" + file, "dbg=null"}, "null", false, false, "(none)"},
      {{"wipedesk", "dbg=null", "dbg=" + file}, "ofstream", false, false, nullptr},
      {{"wipedesk", "dbg="}, "stderr", false, true, "(none)"},
      {{"wipedesk", "dbg=" + dir.file("missing/CVW.log")}, "stderr", false, true, "(none)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    g_remove(file.c_str());
    const Landed landed = choose_and_write(c.arguments, file);
    EXPECT_EQ(debug_sink_name(), c.name);
    EXPECT_EQ(landed.memory, c.memory);
    EXPECT_EQ(landed.console, c.console);
    EXPECT_EQ(landed.file, c.fileContent != nullptr ? c.fileContent : line);
  }
}

TEST(DebugSinks, AFileIsTruncatedAndNamesAreCaseSensitive) {
  TempDir dir;
  const std::string file = dir.file("CVW.log");
  ASSERT_TRUE(write_file(file, "old text\n", 9));
  EXPECT_EQ(choose_and_write({"wipedesk", "dbg=" + file}, file).file, "Test.cpp(1): line\n");

  // "NULL" is a file name, here in the current folder.
  gchar* saved = g_get_current_dir();
  ASSERT_EQ(g_chdir(dir.path().c_str()), 0);
  const Landed landed = choose_and_write({"wipedesk", "dbg=NULL"}, dir.file("NULL"));
  EXPECT_EQ(g_chdir(saved), 0);
  g_free(saved);
  EXPECT_EQ(debug_sink_name(), "ofstream");
  EXPECT_EQ(landed.file, "Test.cpp(1): line\n");
}

// A flood of lines neither grows the program nor fills the disk: memory keeps its newest 8 MiB,
// a file takes a burst of 4 MiB and then one line that says what was dropped.
TEST(DebugSinks, AFloodIsBounded) {
  TempDir dir;
  const std::string file = dir.file("CVW.log");
  const std::string line(99, '.');
  const int lines = 100000; // 10 MB
  const struct {
    std::string argument;
    std::size_t most;
  } cases[] = {{"dbg=ostringstream", 8 << 20}, {"dbg=" + file, 4 << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    std::string program = "wipedesk", argument = c.argument;
    char* argv[] = {program.data(), argument.data(), nullptr};
    choose_debug_sink(2, argv);
    for (int n = 0; n < lines; ++n)
      debug_log() << "Test.cpp(2): " << n << line << "\n";
    // A moment later the flood is over: the next line passes, told of what went before it.
    g_usleep(100000);
    debug_log() << "Test.cpp(3): after\n";
    std::string text = debug_log_text();
    if (c.argument != "dbg=ostringstream") {
      ASSERT_TRUE(read_file(file, text));
    }
    set_debug_log(std::cerr);
    // The file's budget refills a little while the flood is written.
    EXPECT_LE(text.size(), c.most + (64 << 10));
    EXPECT_GE(text.size(), c.most - (c.most / 16) - 200);
    EXPECT_TRUE(text.ends_with("Test.cpp(3): after\n"));
    const std::regex told(c.argument == "dbg=ostringstream"
                              ? "^LineRing.cpp\\(20\\): [0-9]+ older lines \\([0-9]+ bytes\\) "
                                "dropped\nTest.cpp"
                              : "\nFloodGate.cpp\\(70\\): [0-9]+ lines \\([0-9]+ bytes\\) "
                                "dropped in a flood\nTest.cpp\\(3\\): after\n$");
    EXPECT_TRUE(std::regex_search(text, told))
        << text.substr(0, 200) << "..." << text.substr(text.size() - 200);
  }
}
