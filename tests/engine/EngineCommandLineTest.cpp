// The engine's command line, its debug log sinks and the ends of the engine, through the real
// binary.
#include "EngineFixture.h"

#include <regex>

namespace {

const std::string banner = "main.cpp(31): *** cvwdrv v0.01 ***\n";
const std::string usage =
    std::string("Usage: ") + CVWDRV_PATH + "\n  [command=interactive]\n  [dbg=(stderr|FILE)]\n";

struct CommandLineCase {
  const char* name;
  std::vector<std::string> arguments; // "{dir}" stands for the temporary directory
  std::string standardError;
  std::string logFile; // the content of {dir}/log.txt, when the case names it
};

class CommandLine : public EngineFixture, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLine, EndsWithUsageAndMinusOne) {
  std::vector<std::string> arguments;
  for (std::string argument : GetParam().arguments)
    arguments.push_back(std::regex_replace(argument, std::regex("\\{dir\\}"), dir.path().string()));
  start(arguments, false);
  EXPECT_EQ(255, finish());
  EXPECT_EQ(GetParam().standardError, error_text());
  EXPECT_EQ(GetParam().logFile, file_text(dir.file("log.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, CommandLine,
    ::testing::Values(
        CommandLineCase{"NoArguments", {}, banner + usage, ""},
        CommandLineCase{
            "UnknownArgumentBeforeAnySink", {"command=interactive", "bogus"}, usage, ""},
        CommandLineCase{"PrefixesAreCaseSensitive", {"COMMAND=interactive"}, usage, ""},
        CommandLineCase{
            "LastCommandCounts", {"command=interactive", "command=other"}, banner + usage, ""},
        CommandLineCase{
            "EmptySinkNameFallsBackToStandardError", {"dbg=", "command=x"}, banner + usage, ""},
        CommandLineCase{"NullSinkDiscards", {"dbg=null", "command=x"}, usage, ""},
        CommandLineCase{"MemorySinkKeepsItToItself", {"dbg=ostringstream"}, usage, ""},
        CommandLineCase{"FileSink", {"dbg={dir}/log.txt", "command=x"}, usage, banner},
        CommandLineCase{"LastSinkCounts", {"dbg={dir}/log.txt", "dbg=stderr"}, banner + usage, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineFixture, NullSinkRunsTheEngineSilently) {
  start({"command=interactive", "dbg=null"}, false);
  std::string line;
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ("\"status\":\"ready\"", line);
  EXPECT_EQ(255, finish());
  EXPECT_EQ("", error_text());
}

// The reader of standard input is a thread; when the system cannot start one, the engine must
// say so and end instead of waiting for ever for a line it cannot read. A stack limit far
// beyond the machine's memory makes thread creation fail.
TEST_F(EngineFixture, ReaderThreadThatCannotStartEndsTheEngine) {
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the thread sanitizer's runtime cannot lay out its memory under such a limit";
#endif
#endif
  engine = std::make_unique<EngineClient>(
      "/bin/sh",
      std::vector<std::string>{"-c", "ulimit -s 68719476736 && exec \"$0\" \"$1\" \"$2\"",
                               CVWDRV_PATH, "command=interactive", "dbg=" + dir.file("engine.log")},
      dir.file("stderr.txt"));
  std::string line;
  if (engine->receive(line, 30))
    GTEST_SKIP() << "this system starts threads even with a 64 TiB stack limit";
  EXPECT_EQ(255, engine->wait());
  EXPECT_EQ(banner + "ProcessClient.cpp(52): cannot start the reader of standard input: "
                     "Resource temporarily unavailable\n"
                     "main.cpp(44): exception: ProcessClient.cpp(53)\n",
            log_text());
}

} // namespace
