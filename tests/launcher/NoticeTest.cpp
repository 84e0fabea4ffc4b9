// The launcher's one message box.
#include "Notice.h"

#include "DialogResponder.h"
#include "GuiEnvironment.h"
#include "Screenshot.h"

#include <gtest/gtest.h>

class NoticeTest : public GuiTest {};

TEST_F(NoticeTest, TheOperatorReadsWhyInAnErrorBox) {
  DialogResponder answers;
  answers.then([](GtkWindow* box) { save_screenshot(GTK_WIDGET(box), "LauncherNotice"); })
      .click("gtk-close");
  tell_operator(elevation_failure_text(Elevation::NoPkexec, "wipedesk"));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Error");
  EXPECT_EQ(answers.seen()[0].text,
            "wipedesk needs administrator rights to reach the drives, and pkexec, which asks for "
            "them, is not installed.\n\nInstall pkexec (polkit), or start wipedesk as root, for "
            "example with sudo.");
}
