// The command loop and the client channel: framing, unknown commands, and every way a line
// from the client ends the engine.
#include "EngineFixture.h"

namespace {

const std::string banner = "main.cpp(31): *** cvwdrv v0.01 ***\n";
const std::string ready = "\"status\":\"ready\"";
const std::string invalid = "\"message\":\"invalid command\",\"status\":\"error\"";

TEST_F(EngineFixture, EndOfInputAtReadyEndsTheEngine) {
  start_ready();
  EXPECT_EQ(255, finish());
  EXPECT_EQ(banner + "ConfigValue.cpp(428)\nmain.cpp(44): exception: IO.cpp(15)\n", log_text());
}

TEST_F(EngineFixture, UnknownCommandsAreAnsweredAndAcknowledged) {
  start_ready();
  std::string line;
  // An unknown command, then its acknowledgement.
  engine->send("\"command\":\"format\"");
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ(invalid, line);
  engine->send("\"response\":\"ok\"");
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ(ready, line);
  // Blank lines while the engine waits for a command are passed over; one that answers a reply
  // is that reply's acknowledgement.
  engine->send_raw("\n\n{\"command\":\"format\"}\n");
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ(invalid, line);
  engine->send_raw("\n");
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ(ready, line);
  engine->send("\"command\":\"format\"");
  ASSERT_TRUE(engine->receive(line));
  EXPECT_EQ(invalid, line);
  // Command and acknowledgement sent together: each line is taken whole, in order.
  engine->send_raw("\"response\":\"ok\"\n\"command\":\"nothing\"\n\"response\":\"ok\"\n");
  for (const std::string& expected : {ready, invalid, ready}) {
    ASSERT_TRUE(engine->receive(line));
    EXPECT_EQ(expected, line);
  }
  EXPECT_EQ(255, finish());
}

struct FatalLine {
  const char* name;
  std::string line;
  std::string logEnd;
};

class FatalLines : public EngineFixture, public ::testing::WithParamInterface<FatalLine> {};

TEST_P(FatalLines, EndTheEngineAfterReady) {
  start_ready();
  engine->send(GetParam().line);
  EXPECT_EQ(255, engine->wait());
  std::string line;
  EXPECT_FALSE(engine->receive(line)) << line;
  const std::string log = log_text();
  ASSERT_GE(log.size(), GetParam().logEnd.size()) << log;
  EXPECT_EQ(GetParam().logEnd, log.substr(log.size() - GetParam().logEnd.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, FatalLines,
    ::testing::Values(
        FatalLine{"Interrupt", "\"command\":\"interrupt\"",
                  "main.cpp(44): exception: std::exception\n"},
        FatalLine{"NoCommand", "\"x\":1", "main.cpp(44): exception: ConfigValue.cpp(56)\n"},
        FatalLine{"CommandNotText", "\"command\":5",
                  "main.cpp(44): exception: ConfigValue.cpp(56)\n"},
        FatalLine{"NotAnObject", "[1,2]", "main.cpp(44): exception: ConfigValue.cpp(109)\n"},
        FatalLine{"Unparsable", "{\"command\"", "main.cpp(44): exception: IO.cpp(15)\n"},
        FatalLine{"WipeWithoutMode", "\"command\":\"wipe\"",
                  "main.cpp(44): exception: \"mode\" is not found\n"},
        FatalLine{"WipeModeWithoutMethod", "\"command\":\"wipe\",\"mode\":\"wipe\"",
                  "Wipe.cpp(169): wipe\nmain.cpp(44): exception: Wipe.cpp(170)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A client that has gone away must end the engine with its own failure, not with a signal.
TEST_F(EngineFixture, ClosedStandardOutputEndsTheEngineInOrder) {
  start_ready();
  engine->close_output();
  engine->send("\"command\":\"nothing\"");
  EXPECT_EQ(255, engine->wait());
  EXPECT_EQ(banner + "main.cpp(44): exception: ../ProcessClient.cpp(255)\n", log_text());
}

} // namespace
