// The launcher's one message box.
#include "Notice.h"

#include "DialogResponder.h"
#include "Files.h"
#include "GuiEnvironment.h"
#include "Screenshot.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

class NoticeTest : public GuiTest {};

TEST_F(NoticeTest, TheOperatorReadsWhyInAnErrorBox) {
  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "LauncherNotice"); })
      .click("gtk-close");
  tell_operator(elevation_failure_text({Elevation::NoPkexec, ""}, "wipedesk"));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Error");
  EXPECT_EQ(answers.seen()[0].text,
            "wipedesk needs administrator rights to reach the drives, and pkexec, which asks for "
            "them, is not installed.\n\nInstall pkexec (polkit), or start wipedesk as root, for "
            "example with sudo.");
}

// A menu start shows no standard error: what pkexec said when it refused reaches the box. Where
// it refused because the desktop runs no authentication agent, the box first says so in plain
// words, and what to do, then pkexec's words. pkexec here is a script on a PATH of the test's
// own.
TEST_F(NoticeTest, PkexecsReasonReachesTheBox) {
  TempDir world;
  fs::create_directories(world.path() / "bin");
  fs::create_directories(world.path() / "polkit");
  const std::string script = "#!/bin/sh\necho 'Error executing command as another user: No "
                             "authentication agent found.' >&2\nexit 127\n";
  ASSERT_TRUE(write_file(world.file("bin/pkexec"), script.data(), script.size()));
  fs::permissions(world.file("bin/pkexec"), fs::perms::owner_all);
  std::string path = "PATH=" + world.file("bin");
  std::string actions = "CVW_POLKIT_ACTIONS=" + world.file("polkit");
  gchar* environment[] = {path.data(), actions.data(), nullptr};
  const ElevationOutcome outcome =
      run_with_administrator_rights(world.file("wipedesk"), environment);
  EXPECT_EQ(outcome.elevation, Elevation::NoAgent);

  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "LauncherNoticeReason"); })
      .click("gtk-close");
  tell_operator(elevation_failure_text(outcome, "wipedesk"));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text,
            "wipedesk was not started: it needs administrator rights, and this desktop runs no "
            "program that asks for the administrator's password (a polkit authentication "
            "agent).\n\nStart wipedesk from a desktop session that asks for passwords, or start "
            "a polkit authentication agent in this one and start wipedesk again, or start "
            "wipedesk as root, for example with sudo from a terminal.\n\npkexec said: Error "
            "executing command as another user: No authentication agent found.");
}
