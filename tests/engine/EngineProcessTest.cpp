// The desktop program's side of an engine: cvwdrv run through a Process on a GLib main loop.
#include "Process.h"

#include "LogCapture.h"
#include "MainLoop.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Lines : public Process::Callback {
public:
  void on_stdout_line(char* line) override { out.emplace_back(line); }
  void on_stderr_line(char* line) override { err.emplace_back(line); }
  void on_exit(int status) override { exits.push_back(status); }

  std::vector<std::string> out, err;
  std::vector<int> exits;
};

} // namespace

TEST(EngineProcess, ReadyArrivesOnOutputAndTheBannerOnStandardError) {
  LogCapture log;
  Lines lines;
  Process process;
  process.set_callback(&lines);
  std::string program = CVWDRV_PATH, command = "command=interactive";
  char* argv[] = {program.data(), command.data(), nullptr};
  ASSERT_TRUE(process.start(argv));

  ASSERT_TRUE(run_loop([&] { return !lines.out.empty() && !lines.err.empty(); }));
  EXPECT_EQ(lines.out[0], "\"status\":\"ready\"");
  EXPECT_EQ(lines.err[0], "main.cpp(31): *** cvwdrv v0.01 ***");

  ASSERT_TRUE(process.write("\"command\":\"unknown\"\n"));
  ASSERT_TRUE(run_loop([&] { return lines.out.size() >= 2; }));
  EXPECT_EQ(lines.out[1], "\"message\":\"invalid command\",\"status\":\"error\"");
  ASSERT_TRUE(process.write("\"response\":\"ok\"\n"));
  ASSERT_TRUE(run_loop([&] { return lines.out.size() >= 3; }));
  EXPECT_EQ(lines.out[2], "\"status\":\"ready\"");

  // Closing the engine is the client's job; its end is not reported as an exit.
  process.stop();
  for (int i = 0; i < 50; ++i)
    g_main_context_iteration(nullptr, FALSE);
  EXPECT_TRUE(lines.exits.empty());
}
