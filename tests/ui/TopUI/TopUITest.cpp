// The main window: its drive icons and count, the icons in step with the tasks, the help menu,
// quitting with its exit codes, and the first run's hiding of drives with warnings.
#include "TopUIFixture.h"

#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "Locale.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "Script.h"
#include "Settings.h"
#include "TempDir.h"
#include "TestMachine.h"
#include "app/MainWindow.h"
#include "app/Program.h"

#include <gdk/gdkkeysyms.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

class TopUITest : public TopUIFixture {
protected:
  std::string label() const {
    return gtk_label_get_text(GTK_LABEL(widget_by_id(top->widget(), "label")));
  }

  std::vector<std::string> icon_models() const {
    std::vector<std::string> models;
    for (int i = 0; i < TopUI::icon_count; ++i)
      if (top->icon(i).has_drive())
        models.push_back(top->icon(i).drive().model());
    return models;
  }

  // Presses `button` of the main window `times` times once the main loop runs (each press
  // returns when its question has been answered); returns what run returns.
  int run_after_clicking(const char* button, int times = 1) {
    struct Presses {
      GtkWidget* button;
      int times;
    };
    g_idle_add(
        [](gpointer data) -> gboolean {
          auto* presses = static_cast<Presses*>(data);
          for (int i = 0; i < presses->times; ++i)
            gtk_button_clicked(GTK_BUTTON(presses->button));
          delete presses;
          return FALSE;
        },
        new Presses{widget_by_id(top->widget(), button), times});
    return top->run();
  }
};

Drive drive(int number, const std::string& warning = "") { return table_drive(number, warning); }
std::vector<Drive> drives(int count) { return table_drives(count); }

// Sends the window manager's close to `window`.
void close_window(GtkWidget* window) {
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(window->window));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
}

} // namespace

TEST_F(TopUITest, IconsAndTheCountFollowTheDrivesAndTheHiddenList) {
  const struct {
    const char* name;
    int drives;
    std::vector<int> hidden;
    const char* label;
    int icons;
  } cases[] = {
      {"no drive", 0, {}, "CONNECTED DRIVES = 0", 0},
      {"one of four hidden", 4, {2}, "CONNECTED DRIVES = 4 (1 DRIVE LOCKED)", 3},
      {"20 drives", 20, {}, "CONNECTED DRIVES = 20", 18},
      {"all hidden", 3, {0, 1, 2}, "CONNECTED DRIVES = 3 (3 DRIVES LOCKED)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Drive> hidden;
    for (int index : c.hidden)
      hidden.push_back(drive(index));
    Settings::instance().set_hidden_drives(hidden);
    top.reset();
    TopUI& ui = make(drives(c.drives));
    EXPECT_EQ(label(), c.label);
    EXPECT_EQ(static_cast<int>(ui.shown_drives().size()),
              c.drives - static_cast<int>(c.hidden.size()));
    std::vector<std::string> expected;
    for (const Drive& shown : ui.shown_drives())
      if (static_cast<int>(expected.size()) < c.icons)
        expected.push_back(shown.model());
    EXPECT_EQ(icon_models(), expected);
  }
}

// The disks that the machine has and the list leaves out are named in the count's tooltip,
// with why; a rescan that finds them all takes the tooltip away.
TEST_F(TopUITest, TheCountsTooltipNamesTheDisksThatCouldNotBeOpened) {
  factory.unlisted = {{"\\\\.\\PhysicalDrive0", "/dev/sda", "No medium found."},
                      {"\\\\.\\PhysicalDrive2", "", "Access is denied."}};
  make(drives(1));
  GtkWidget* count = widget_by_id(top->widget(), "label");
  EXPECT_EQ(label(), "CONNECTED DRIVES = 1");
  gchar* tooltip = gtk_widget_get_tooltip_text(count);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_STREQ(tooltip, "Some disks could not be opened:\n"
                        "/dev/sda (\\\\.\\PhysicalDrive0): No medium found.\n"
                        "\\\\.\\PhysicalDrive2: Access is denied.");
  g_free(tooltip);

  factory.unlisted.clear();
  top->rescan();
  EXPECT_EQ(gtk_widget_get_tooltip_text(count), nullptr);
}

TEST_F(TopUITest, IconsFollowTheTasksOfTheirDrives) {
  TopUI& ui = make(drives(3));
  DriveTask task("vw", drive(1));
  task.set_light(DriveLight::Busy);
  task.set_selected(true);
  task.set_percent(40);
  tasks.add(&task);
  DriveIconUI& icon = ui.icon(1);
  EXPECT_EQ(icon.light(), DriveLight::Busy);
  EXPECT_TRUE(icon.selected());
  EXPECT_EQ(icon.percentage(), 40);
  EXPECT_EQ(ui.icon(0).light(), DriveLight::None);

  task.set_light(DriveLight::Waiting);
  tasks.notify_light(&task);
  task.set_percent(41);
  tasks.notify_percent(&task);
  task.set_selected(false);
  tasks.notify_selected(&task);
  EXPECT_EQ(icon.light(), DriveLight::Waiting);
  EXPECT_EQ(icon.percentage(), 41);
  EXPECT_FALSE(icon.selected());

  // A new scan shows the task's values again; hiding the drive before it moves the others up.
  Settings::instance().set_hidden_drives({drive(0)});
  ui.rescan();
  EXPECT_EQ(ui.icon(0).drive().model(), "Model 1");
  EXPECT_EQ(ui.icon(0).light(), DriveLight::Waiting);
  EXPECT_EQ(ui.icon(0).percentage(), 41);

  tasks.remove(&task);
  EXPECT_EQ(ui.icon(0).light(), DriveLight::None);
  EXPECT_EQ(ui.icon(0).percentage(), 0);
}

TEST_F(TopUITest, TheHelpMenu) {
  TopUI& ui = make(drives(1));
  std::vector<std::string> items;
  GList* children = gtk_container_get_children(GTK_CONTAINER(ui.help_menu()));
  for (GList* item = children; item != nullptr; item = item->next)
    items.push_back(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(item->data)))));
  g_list_free(children);
  EXPECT_EQ(items, (std::vector<std::string>{"Manual", "Settings", "Wipe Log", "About"}));

  // A menu shows only when it gets the pointer grab, which another test on the same display may
  // hold for a moment: click again until it shows.
  GtkWidget* help = widget_by_id(ui.widget(), "help");
  EXPECT_TRUE(run_loop(
      [&] {
        if (!gtk_widget_get_visible(GTK_WIDGET(ui.help_menu())))
          gtk_button_clicked(GTK_BUTTON(help));
        return gtk_widget_get_visible(GTK_WIDGET(ui.help_menu()));
      },
      10 * G_USEC_PER_SEC));
  gtk_menu_popdown(ui.help_menu());
}

TEST_F(TopUITest, TheManualOpensInTheLanguageOfTheProgram) {
  TopUI& ui = make(drives(1));
  GtkWidget* manual = widget_by_id(GTK_WIDGET(ui.help_menu()), "manual");
  {
    LogCapture log;
    gtk_menu_item_activate(GTK_MENU_ITEM(manual));
    EXPECT_EQ(log.text(), "TopUI.cpp(418): ConfigValue.cpp(56)\n");
  }
  const std::string opener = dir.file("opener");
  const std::string record = dir.file("opened");
  write_recording_script(opener, "echo \"$@\"", record);
  ScopedEnvironment shell("CVW_SHELL_OPEN", opener);
  Locale::instance().init(std::string(CVW_PROGRAM_DIR) + "/lib/locale");
  program_config().set("Manual File", "manual.html");
  gtk_menu_item_activate(GTK_MENU_ITEM(manual));
  EXPECT_EQ(wait_for_file(record), std::string(CVW_PROGRAM_DIR) + "/lib/locale/en/manual.html\n");
}

// F1 that cannot open the manual says why instead of doing nothing.
TEST_F(TopUITest, AManualThatCannotBeOpenedIsToldInABox) {
  TopUI& ui = make(drives(1));
  GtkWidget* manual = widget_by_id(GTK_WIDGET(ui.help_menu()), "manual");
  Locale::instance().init(std::string(CVW_PROGRAM_DIR) + "/lib/locale");
  const std::string shown = std::string(CVW_PROGRAM_DIR) + "/lib/locale/en/manual.html";
  const struct {
    const char* file;
    std::string text;
  } cases[] = {
      {"manual.html",
       "The manual " + shown + " cannot be opened: no program on this system opens it."},
      {"gone.html",
       "The manual " + std::string(CVW_PROGRAM_DIR) + "/lib/locale/en/gone.html is missing."},
  };
  ScopedEnvironment shell("CVW_SHELL_OPEN", dir.file("no-such-opener"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    program_config().set("Manual File", c.file);
    DialogResponder answers;
    answers.click("gtk-close");
    gtk_menu_item_activate(GTK_MENU_ITEM(manual));
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Error");
    EXPECT_EQ(answers.seen()[0].text, c.text);
  }
}

TEST_F(TopUITest, QuittingEndsTheLoopWithTheChosenCode) {
  make(drives(2));
  {
    DialogResponder answers;
    answers.click("gtk-no").click("gtk-yes");
    // Refused once, then taken.
    EXPECT_EQ(run_after_clicking("close", 2), exit_code(QuitCode::Desktop));
    EXPECT_EQ(answers.seen().size(), 2u);
  }
  {
    program_config()["Desktop"] = true;
    DialogResponder answers;
    answers.click("restart");
    EXPECT_EQ(run_after_clicking("close"), exit_code(QuitCode::Restart));
  }
  {
    // The window manager's close asks the same question, and the window stays either way: it
    // goes when the program has ended its tasks.
    DialogResponder answers;
    answers.click("shutdown");
    g_idle_add(
        [](gpointer window) -> gboolean {
          close_window(static_cast<GtkWidget*>(window));
          return FALSE;
        },
        window);
    EXPECT_EQ(top->run(), exit_code(QuitCode::Shutdown));
    EXPECT_TRUE(gtk_widget_get_visible(window));
  }
}

// A quit confirmed before the main loop runs (from inside a dialog of start-up) ends the
// loop as soon as it would start.
TEST_F(TopUITest, AQuitBeforeTheMainLoopEndsItAtOnce) {
  make(drives(1));
  DialogResponder answers;
  answers.click("gtk-yes");
  EXPECT_TRUE(top->quit());
  EXPECT_EQ(top->run(), exit_code(QuitCode::Desktop));
}

// A quit configuration that cannot be used never keeps the operator in the program: the close
// button and the window manager's close ask the plain question, each after one log line that
// says why.
TEST_F(TopUITest, ABadQuitConfigurationAsksThePlainQuestion) {
  make(drives(1));
  program_config().set("Desktop", "yes");
  LogCapture log;
  DialogResponder answers;
  answers.click("gtk-no").click("gtk-yes");
  gtk_button_clicked(GTK_BUTTON(widget_by_id(top->widget(), "close")));
  close_window(window);
  flush_events();
  ASSERT_EQ(answers.seen().size(), 2u);
  for (const auto& seen : answers.seen())
    EXPECT_EQ(seen.text, "Do you want to quit the program?");
  const std::string why = "ConfigValue.cpp(280): \"Desktop\" is String, not Boolean\n"
                          "Program.cpp(172): the quit configuration cannot be used (\"Desktop\" is "
                          "String, not Boolean): the plain question is asked\n";
  EXPECT_EQ(log.text(), why + why);
  EXPECT_EQ(top->run(), exit_code(QuitCode::Desktop));
}

// The first run hides the drives with warnings, in memory at once; the dialog lets the operator
// change the list, and only an accepted one redraws the icons and offers to save.
TEST_F(TopUITest, TheFirstRunHidesTheDrivesWithWarnings) {
  Settings::set_directory(dir.path().string());
  const std::vector<Drive> list = {drive(0, "System Drive"), drive(1),
                                   drive(2, "\"Program Files\" Drive")};
  const struct {
    const char* name;
    std::vector<std::string> answers;
    std::vector<std::string> hidden;
    int icons;
    bool saved;
  } cases[] = {
      {"cancelled", {"gtk-cancel"}, {"Model 0", "Model 2"}, 3, false},
      {"accepted, not saved", {"gtk-ok", "gtk-no"}, {"Model 0", "Model 2"}, 1, false},
      {"all shown, saved", {"unselectAll", "gtk-ok", "gtk-yes"}, {}, 3, true},
      // The list has the focus, with its cursor on the system drive: Return is OK's all the
      // same, and leaves the ticks alone.
      {"Return accepts", {"Return", "gtk-no"}, {"Model 0", "Model 2"}, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.file("settings.cfg"));
    Settings::instance().set_hidden_drives({});
    top.reset();
    TopUI& ui = make(list);
    DialogResponder answers;
    for (const std::string& answer : c.answers) {
      if (answer == "unselectAll")
        answers.then([](GtkWindow* dialog) {
          gtk_button_clicked(GTK_BUTTON(widget_by_id(GTK_WIDGET(dialog), "unselectAll")));
        });
      else if (answer == "Return")
        answers
            .then([](GtkWindow* dialog) {
              // The dialog has the keyboard, as it has on the desktop.
              give_keyboard_to(GTK_WIDGET(dialog));
              GtkWidget* list = widget_by_id(GTK_WIDGET(dialog), "treeview");
              EXPECT_TRUE(gtk_widget_has_focus(list));
              GtkTreePath* cursor = nullptr;
              gtk_tree_view_get_cursor(GTK_TREE_VIEW(list), &cursor, nullptr);
              ASSERT_NE(cursor, nullptr);
              EXPECT_EQ(gtk_tree_path_get_indices(cursor)[0], 0);
              gtk_tree_path_free(cursor);
            })
            .key(GDK_Return);
      else
        answers.click(answer);
    }
    ui.start();
    ASSERT_FALSE(answers.seen().empty());
    EXPECT_EQ(answers.seen()[0].title, "Hidden Drives");
    std::vector<std::string> hidden;
    for (const Drive& d : Settings::instance().hidden_drives())
      hidden.push_back(d.model());
    EXPECT_EQ(hidden, c.hidden);
    EXPECT_EQ(static_cast<int>(icon_models().size()), c.icons);
    EXPECT_EQ(std::filesystem::exists(dir.file("settings.cfg")), c.saved);
  }

  // Not the first run: nothing is asked and the list stays.
  Settings::instance().set_hidden_drives({drive(1)});
  top->start();
  ASSERT_EQ(Settings::instance().hidden_drives().size(), 1u);
  EXPECT_EQ(Settings::instance().hidden_drives()[0].model(), "Model 1");
}

TEST_F(TopUITest, TheSettingsDialogOpensOverTheWindow) {
  TopUI& ui = make(drives(2));
  DialogResponder answers;
  answers.click("gtk-cancel");
  gtk_menu_item_activate(GTK_MENU_ITEM(widget_by_id(GTK_WIDGET(ui.help_menu()), "settings")));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Settings");
}

TEST_F(TopUITest, Screenshots) {
  make({});
  settle_window();
  save_screenshot(window, "TopUI-empty");
  top.reset();
  gtk_widget_destroy(window);
  window = make_main_window("Corvana Wipe", content);
  std::vector<Drive> list = drives(18);
  for (int i = 0; i < 18; ++i)
    list[i].set_sectors((i % 2 != 0 ? 1953525168ULL : 500118192ULL) / (i % 3 + 1));
  TopUI& ui = make(list);
  const DriveLight lights[] = {DriveLight::Ready, DriveLight::Busy, DriveLight::Finished,
                               DriveLight::Waiting};
  for (int i = 0; i < 4; ++i) {
    ui.icon(i).set_light(lights[i]);
    ui.icon(i).set_percent(25 * (i + 1));
  }
  ui.icon(1).set_selected(true);
  settle_window();
  save_screenshot(window, "TopUI-18-drives");
}
