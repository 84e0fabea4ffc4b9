#include "parts/WipeConfirmation.h"

#include "DialogResponder.h"
#include "GuiEnvironment.h"
#include "ProgramConfig.h"

#include <gdk/gdkkeysyms.h>

namespace {

using WipeConfirmationTest = GuiTest;

Drive drive(const char* model, const char* serial, const char* warning) {
  Drive d;
  d.set_model(model);
  d.set_serial(serial);
  d.set_warning(warning);
  return d;
}

} // namespace

TEST(WipeConfirmationText, OneSentencePerDrive) {
  EXPECT_EQ(drive_warning_text(drive("WDC WD10", "S123", "System Drive")),
            "WDC WD10 / S123 is a System Drive");
}

TEST_F(WipeConfirmationTest, DrivesWithWarningsAreRefusedUnlessTheConfigurationAllows) {
  const std::string warnings = "A / 1 is a System Drive\nB / 2 is a \"Program Files\" Drive";
  enum Setting { Absent, NoWipeMember, True, False };
  const struct {
    Setting setting;
    const char* warnings;
    const char* text;
    const char* answer; // the button pressed, or "close", "esc"
    bool result;
    const char* title;
    const char* shown;
  } cases[] = {
      {NoWipeMember, "W", "Wipe?", "close", false, "Error", "{W}\n\nWipe is not allowed."},
      {Absent, "W", "Wipe?", "close", false, "Error", "{W}\n\nWipe is not allowed."},
      {True, "W", "", "close", false, "Error", "{W}\n\nWipe is not allowed."},
      {False, "W", "Wipe?", "yes", true, "Warning",
       "Wipe?\n\n{W}\n\nAre you sure you want to continue?"},
      {False, "W", "", "no", false, "Warning", "{W}\n\nAre you sure you want to continue?"},
      {False, "W", "Wipe?", "esc", false, "Warning",
       "Wipe?\n\n{W}\n\nAre you sure you want to continue?"},
      {True, "", "Wipe drive 1?", "yes", true, "Warning",
       "Wipe drive 1?\n\nAre you sure you want to continue?"},
      {Absent, "", "", "yes", true, "Warning", "Are you sure you want to continue?"},
      {NoWipeMember, "", "", "close", false, "Warning", "Are you sure you want to continue?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.setting << " \"" << c.warnings << "\" " << c.answer);
    program_config() = config::Value(config::Value::Type::Object);
    if (c.setting != NoWipeMember) {
      program_config()["wipe"]["other"] = 1;
      if (c.setting != Absent)
        program_config()["wipe"]["stop at drive warning"] = c.setting == True;
    }
    DialogResponder answers;
    const std::string answer = c.answer;
    if (answer == "close")
      answers.close();
    else if (answer == "esc")
      answers.key(GDK_Escape);
    else
      answers.click(answer);
    const std::string shownWarnings = std::string(c.warnings) == "W" ? warnings : "";
    EXPECT_EQ(confirm_wipe(c.text, shownWarnings, nullptr), c.result);
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, c.title);
    std::string expected = c.shown;
    if (const auto at = expected.find("{W}"); at != std::string::npos)
      expected.replace(at, 3, warnings);
    EXPECT_EQ(answers.seen()[0].text, expected);
  }
}

TEST_F(WipeConfirmationTest, TheQuestionDefaultsToNoOverTheParentWindow) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* button = gtk_button_new_with_label("Start");
  gtk_container_add(GTK_CONTAINER(window), button);
  gtk_widget_show_all(window);
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        EXPECT_EQ(gtk_window_get_transient_for(dialog), GTK_WINDOW(window));
      })
      .key(GDK_Return);
  EXPECT_FALSE(confirm_wipe("Wipe?", "", button));
  gtk_widget_destroy(window);
}
