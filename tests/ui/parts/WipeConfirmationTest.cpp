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

// The question names every drive as its task's header does, five at the most: of a longer list
// four and the count of the others (never "and 1 more", which would take the line of a drive).
TEST(WipeConfirmationText, TheQuestionNamesTheDrives) {
  const auto disk = [](int n) {
    Drive d;
    d.set_id("\\\\.\\PhysicalDrive" + std::to_string(n));
    d.set_model("Disk " + std::to_string(n));
    d.set_serial("S" + std::to_string(n));
    d.set_sectors(2048);
    return d;
  };
  const auto disks = [&](int count) {
    std::vector<Drive> list;
    for (int i = 0; i < count; ++i)
      list.push_back(disk(i));
    return list;
  };
  const auto lines = [](int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
      text += "\n    Disk " + std::to_string(i) + " / S" + std::to_string(i) + " (1.049MB)";
    return text;
  };
  Drive anonymous = disk(7);
  anonymous.set_model("");
  anonymous.set_serial("");
  Drive serialOnly = disk(8);
  serialOnly.set_model("");
  Drive odd = disk(9);
  odd.set_model("Bad\xff <b>");
  Drive named = disk(3);
  named.set_system_name("/dev/sdb");
  const struct {
    const char* name;
    std::vector<Drive> drives;
    std::string text;
  } cases[] = {
      {"one", disks(1), "This operation will wipe 1 drive." + lines(1)},
      {"five, all named", disks(5), "This operation will wipe 5 drives." + lines(5)},
      {"six: four and two more", disks(6),
       "This operation will wipe 6 drives." + lines(4) + "\n    and 2 more drives"},
      {"twenty", disks(20),
       "This operation will wipe 20 drives." + lines(4) + "\n    and 16 more drives"},
      {"with the system's name of the disk, as the header shows it",
       {named},
       "This operation will wipe 1 drive.\n    /dev/sdb  Disk 3 / S3 (1.049MB)"},
      {"without model or serial, and odd bytes",
       {anonymous, serialOnly, odd},
       "This operation will wipe 3 drives.\n    \\\\.\\PhysicalDrive7 (1.049MB)\n    S8 (1.049MB)"
       "\n    Bad\xef\xbf\xbd <b> / S9 (1.049MB)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(drives_to_wipe_text(c.drives), c.text);
  }
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
