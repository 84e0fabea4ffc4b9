// The main window's drive tasks: opening, showing and hiding them with the icons, the icons
// following their wipes, blinking with the wipes paused meanwhile, wiping every shown drive, a
// task bound to its drive, and quitting with the engines ended.
#include "TopUIFixture.h"

#include "DialogResponder.h"
#include "DoubleClick.h"
#include "Guarded.h"
#include "LogCapture.h"
#include "Process.h"
#include "Screenshot.h"
#include "TestMachine.h"
#include "app/Program.h"
#include "gtk/ResourceDirectory.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using TopUITasksTest = TopUIFixture;

bool has_call(const FakeWipeModel* model, const std::string& call) {
  return model != nullptr &&
         std::find(model->calls().begin(), model->calls().end(), call) != model->calls().end();
}

// The cvwdrv processes whose parent is this test.
int engine_children() {
  int count = 0;
  const std::string parent = std::to_string(getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string pid, name, state, ppid;
    if (stat >> pid >> name >> state >> ppid && name == "(cvwdrv)" && ppid == parent)
      ++count;
  }
  return count;
}

// Three simulated disks of 1024 sectors, as the drive table names them.
const char* const three_disks = R"("drives": [
  {"number": 0, "size": 524288, "product": "Model 0", "serial": "S0"},
  {"number": 1, "size": 524288, "product": "Model 1", "serial": "S1"},
  {"number": 2, "size": 524288, "product": "Model 2", "serial": "S2"}])";

std::vector<Drive> small_drives(int count) {
  std::vector<Drive> list = table_drives(count);
  for (Drive& drive : list)
    drive.set_sectors(1024);
  return list;
}

} // namespace

TEST_F(TopUITasksTest, AnIconOpensShowsAndHidesItsDrivesTask) {
  const std::vector<Drive> list = table_drives(3);
  TopUI& ui = make(list);
  press_icon(list[0]);
  ASSERT_NE(ui.task_widget(list[0]), nullptr);
  EXPECT_TRUE(icon_of(list[0])->selected());
  EXPECT_EQ(icon_of(list[0])->light(), DriveLight::Ready);
  EXPECT_TRUE(gtk_widget_get_visible(widget_by_id(ui.task_widget(list[0]), "WipeUI")));

  // Another drive's task: the first one hides, keeping its light.
  press_icon(list[1]);
  EXPECT_FALSE(icon_of(list[0])->selected());
  EXPECT_EQ(icon_of(list[0])->light(), DriveLight::Ready);
  EXPECT_TRUE(icon_of(list[1])->selected());
  EXPECT_EQ(tasks.tasks().size(), 2u);

  // The shown task's icon hides it; the next press shows it again, the same task.
  GtkWidget* second = ui.task_widget(list[1]);
  press_icon(list[1]);
  EXPECT_FALSE(icon_of(list[1])->selected());
  press_icon(list[1]);
  EXPECT_TRUE(icon_of(list[1])->selected());
  EXPECT_EQ(ui.task_widget(list[1]), second);
  EXPECT_EQ(viewModels.made, 2);

  // An empty bay does nothing.
  ui.activated(ui.icon(5));
  EXPECT_EQ(tasks.tasks().size(), 2u);

  // CLOSE: the task goes with its models, its icon goes dark, no other task is shown.
  gtk_button_clicked(GTK_BUTTON(task_button(list[1], "stop")));
  EXPECT_EQ(ui.task_widget(list[1]), nullptr);
  EXPECT_TRUE(wipeModels.made.back().gone);
  EXPECT_EQ(icon_of(list[1])->light(), DriveLight::None);
  EXPECT_FALSE(icon_of(list[1])->selected());
  EXPECT_FALSE(icon_of(list[0])->selected());
  EXPECT_EQ(tasks.tasks().size(), 1u);
}

TEST_F(TopUITasksTest, TheIconFollowsTheWipe) {
  const std::vector<Drive> list = table_drives(2);
  make(list);
  press_icon(list[1]);
  FakeWipeModel* model = wipeModels.of(list[1]);
  ASSERT_NE(model, nullptr);
  const struct {
    WipeModel::State state;
    DriveLight light;
  } states[] = {{WipeModel::State::Waiting, DriveLight::Waiting},
                {WipeModel::State::Wiping, DriveLight::Busy},
                {WipeModel::State::Paused, DriveLight::Ready},
                {WipeModel::State::Done, DriveLight::Finished},
                {WipeModel::State::Idle, DriveLight::Ready}};
  for (const auto& s : states) {
    model->set_state(s.state);
    EXPECT_EQ(icon_of(list[1])->light(), s.light) << static_cast<int>(s.state);
  }
  model->show_percent(42);
  EXPECT_EQ(icon_of(list[1])->percentage(), 42);
  EXPECT_EQ(icon_of(list[0])->light(), DriveLight::None);
}

// A blink pauses the running wipes of the shown drives and, when its box closes, resumes those
// it paused, also one whose pause the engine confirms only later; never an operator's pause.
TEST_F(TopUITasksTest, ABlinkResumesExactlyTheWipesItPaused) {
  TestMachine machine(three_disks);
  program_config().set("Driver", std::string(CVW_PROGRAM_DIR) + "/cvwdrv");
  const std::vector<Drive> list = small_drives(3);
  make(list);
  for (const Drive& drive : list)
    press_icon(drive);
  FakeWipeModel* confirmed = wipeModels.of(list[0]);
  FakeWipeModel* operators = wipeModels.of(list[1]);
  FakeWipeModel* late = wipeModels.of(list[2]);
  confirmed->set_state(WipeModel::State::Wiping);
  operators->set_state(WipeModel::State::Paused);
  late->set_state(WipeModel::State::Wiping);
  for (FakeWipeModel* model : {confirmed, operators, late})
    model->clear_calls();

  DialogResponder answers;
  answers
      .then([&](GtkWindow*) {
        EXPECT_EQ(confirmed->calls(), std::vector<std::string>{"pause"});
        EXPECT_EQ(late->calls(), std::vector<std::string>{"pause"});
        EXPECT_TRUE(operators->calls().empty());
        EXPECT_EQ(engine_children(), 1);
        // The blinking drive's light, whatever its wipe does meanwhile.
        confirmed->set_state(WipeModel::State::Paused);
        EXPECT_EQ(icon_of(list[0])->light(), DriveLight::Busy);
      })
      .click("gtk-close");
  gtk_button_clicked(GTK_BUTTON(task_button(list[0], "blink")));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, "Blinking...\n(wipes are paused)");
  EXPECT_EQ(icon_of(list[0])->light(), DriveLight::Ready);

  EXPECT_TRUE(run_loop([&] { return has_call(confirmed, "start"); }, 5 * G_USEC_PER_SEC));
  EXPECT_FALSE(has_call(late, "start")) << testing::PrintToString(late->calls());
  late->set_state(WipeModel::State::Paused);
  EXPECT_TRUE(run_loop([&] { return has_call(late, "start"); }, 5 * G_USEC_PER_SEC));
  EXPECT_FALSE(has_call(operators, "start"));
  // The blink's engine has ended and been reaped.
  EXPECT_TRUE(Process::reap_abandoned_children(5000));
  EXPECT_EQ(engine_children(), 0);
}

TEST_F(TopUITasksTest, ABlinkThatCannotStartSaysSoAndTheWipesGoOn) {
  const std::vector<Drive> list = small_drives(2);
  make(list);
  press_icon(list[0]);
  press_icon(list[1]);
  FakeWipeModel* model = wipeModels.of(list[1]);
  const struct {
    const char* driver; // null: the configuration names none
    const char* box;    // the box shown, null for none
  } cases[] = {{"/nonexistent/cvwdrv", "Cannot start driver"}, {nullptr, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.driver != nullptr ? c.driver : "no Driver");
    if (c.driver != nullptr)
      program_config().set("Driver", c.driver);
    else
      program_config().as_object().erase("Driver");
    model->set_state(WipeModel::State::Wiping);
    model->clear_calls();
    LogCapture log;
    std::unique_ptr<DialogResponder> answers;
    if (c.box != nullptr) {
      answers = std::make_unique<DialogResponder>();
      answers->then([&](GtkWindow*) { model->set_state(WipeModel::State::Paused); })
          .click("gtk-close");
    }
    gtk_button_clicked(GTK_BUTTON(task_button(list[0], "blink")));
    if (answers != nullptr) {
      ASSERT_EQ(answers->seen().size(), 1u);
      EXPECT_EQ(answers->seen()[0].title, "Error");
      EXPECT_EQ(answers->seen()[0].text, c.box);
    } else {
      // The view panel's handler logs what the blink threw.
      EXPECT_NE(log.text().find("ViewUI.cpp(141): \"Driver\" is not found"), std::string::npos)
          << log.text();
      model->set_state(WipeModel::State::Paused);
    }
    EXPECT_TRUE(run_loop([&] { return has_call(model, "start"); }, 5 * G_USEC_PER_SEC));
    EXPECT_EQ(icon_of(list[0])->light(), DriveLight::Ready);
  }
}

TEST_F(TopUITasksTest, WipeAllStartsANewWipeOnEveryShownDrive) {
  std::vector<Drive> list = table_drives(3);
  Settings::instance().set_hidden_drives({list[1]});
  make(list);
  press_icon(list[0]);
  FakeWipeModel* old = wipeModels.of(list[0]);
  old->set_state(WipeModel::State::Wiping);
  DialogResponder answers;
  answers.click("gtk-yes");
  gtk_button_clicked(GTK_BUTTON(task_button(list[0], "wipeAll")));
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, "This operation will wipe 2 drives.\n"
                                    "Model 0 / S0 (512.0MB)\n"
                                    "Model 2 / S2 (1.536GB)\n\n"
                                    "Are you sure you want to continue?");
  EXPECT_TRUE(wipeModels.made.front().gone);
  for (const int shown : {0, 2}) {
    FakeWipeModel* model = wipeModels.of(list[shown]);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->calls(),
              (std::vector<std::string>{"arm 0 " + std::to_string(list[shown].sectors()) + " 0",
                                        "start"}));
  }
  EXPECT_EQ(wipeModels.of(list[1]), nullptr);
  // The last one made is the one shown.
  EXPECT_TRUE(icon_of(list[2])->selected());
  EXPECT_FALSE(icon_of(list[0])->selected());
}

TEST_F(TopUITasksTest, WipeAllAsksOnceAndRefusesDrivesWithWarnings) {
  const struct {
    std::vector<Drive> drives;
    const char* title;
    const char* text;
  } cases[] = {
      {{table_drive(0)},
       "Warning",
       "This operation will wipe 1 drive.\nModel 0 / S0 (512.0MB)\n\n"
       "Are you sure you want to continue?"},
      {{table_drive(0), table_drive(1, "System Drive")},
       "Error",
       "Model 1 / S1 is a System Drive\n\nWipe is not allowed."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    top.reset();
    make(c.drives);
    press_icon(c.drives[0]);
    const std::size_t made = wipeModels.made.size();
    DialogResponder answers;
    answers.click(std::string(c.title) == "Error" ? "gtk-close" : "gtk-no");
    gtk_button_clicked(GTK_BUTTON(task_button(c.drives[0], "wipeAll")));
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, c.title);
    EXPECT_EQ(answers.seen()[0].text, c.text);
    EXPECT_EQ(wipeModels.made.size(), made);
    top->end_tasks();
  }
}

// After a rescan in which another disk took the task's drive path, START refuses; the disk back
// in its place, START arms again.
TEST_F(TopUITasksTest, ATaskIsBoundToItsDriveNotToItsPath) {
  std::vector<Drive> list = table_drives(2);
  TopUI& ui = make(list);
  press_icon(list[1]);
  FakeWipeModel* model = wipeModels.of(list[1]);
  const struct {
    const char* model;
    const char* serial;
    std::uint64_t sectors;
    bool refused;
  } cases[] = {{"Other", "S1", 2000000, true},
               {"Model 1", "X", 2000000, true},
               {"Model 1", "S1", 2000001, true},
               {"Model 1", "S1", 2000000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.serial << " " << c.sectors);
    factory.drives[1].set_model(c.model);
    factory.drives[1].set_serial(c.serial);
    factory.drives[1].set_sectors(c.sectors);
    ui.rescan();
    model->clear_calls();
    if (c.refused) {
      DialogResponder answers;
      answers.click("gtk-close");
      gtk_button_clicked(GTK_BUTTON(task_button(list[1], "start")));
      ASSERT_EQ(answers.seen().size(), 1u);
      EXPECT_EQ(answers.seen()[0].text,
                "\\\\.\\PhysicalDrive1 is no longer the drive this task was opened for: it was "
                "Model 1 / S1, 2000000 sectors of 512 bytes, it is now " +
                    std::string(c.model) + " / " + c.serial + ", " + std::to_string(c.sectors) +
                    " sectors of 512 bytes.\n\nClose this task and open the drive's icon again.");
      EXPECT_TRUE(model->calls().empty());
    } else {
      gtk_button_clicked(GTK_BUTTON(task_button(list[1], "start")));
      ASSERT_EQ(model->calls().size(), 1u);
      EXPECT_EQ(model->calls()[0].rfind("arm ", 0), 0u);
    }
  }
}

// A window whose interface file is missing or broken says so, naming the file, instead of a
// click that seems to do nothing: the drive's task, the task log, the wipe history.
TEST_F(TopUITasksTest, AnInterfaceFileThatCannotBeUsedIsNamed) {
  const std::vector<Drive> list = table_drives(1);
  const std::string lib = std::string(CVW_PROGRAM_DIR) + "/lib";
  const std::string resources = gtk::resource_directory();
  const struct {
    const char* file;
    const char* content; // null: missing
    const char* reason;  // the start of the reason in the box
  } files[] = {
      {"WipeUI/WipeUI.ui", nullptr, "(Failed to open file"},
      {"WipeUI/WipeUI.ui", "<interface><child>", "("},
      {"LogUI/LogUI.ui", nullptr, "(Failed to open file"},
      {"LogUI/LogUI.ui", "<interface/>", "(it has no object \"dialog\")"},
      {"MainLogUI/MainLogUI.ui", nullptr, "(Failed to open file"},
      {"MainLogUI/MainLogUI.ui", "not xml", "("},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(std::string(f.file) + (f.content == nullptr ? " missing" : " broken"));
    // The program's files, but this one.
    TempDir copy;
    std::filesystem::copy(lib, copy.path(), std::filesystem::copy_options::recursive);
    const std::string path = copy.file(f.file);
    std::filesystem::remove(path);
    if (f.content != nullptr)
      std::ofstream(path) << f.content;
    gtk::set_resource_directory(copy.path().string());

    top.reset();
    make(list);
    LogCapture log;
    DialogResponder answers;
    answers.click("close");
    const std::string which = f.file;
    if (which.rfind("MainLogUI", 0) == 0) {
      gtk_menu_item_activate(GTK_MENU_ITEM(widget_by_id(GTK_WIDGET(top->help_menu()), "wipelog")));
    } else if (which.rfind("WipeUI", 0) == 0) {
      // The icon's own handler logs what the press throws.
      EXPECT_FALSE(guarded("test", "test", [&] { press_icon(list[0]); }));
      EXPECT_EQ(top->task_widget(list[0]), nullptr);
      EXPECT_TRUE(tasks.tasks().empty());
    } else {
      press_icon(list[0]);
      gtk_button_clicked(GTK_BUTTON(task_button(list[0], "logFile")));
    }
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Error");
    const std::string text = answers.seen()[0].text;
    EXPECT_EQ(text.rfind("The window cannot be opened: its interface file " + path +
                             " cannot be used.\n\n" + f.reason,
                         0),
              0u)
        << text;
    const std::string end = ")\n\nInstall the program again.";
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end) << text;
    top->end_tasks();
    gtk::set_resource_directory(resources);
  }
}

// The multi-wipe dialog: drives without a task or with an idle wipe come ticked; each action
// acts on the ticked drives where it fits and passes over the others without a word.
TEST_F(TopUITasksTest, MultiWipeActsOnTheTickedDrivesWhereItFits) {
  const std::vector<Drive> list = table_drives(4);
  const struct {
    const char* button;
    // What each drive's models were asked: no task / Idle / Wiping / Paused before.
    std::vector<std::string> calls[4];
    bool newTasks;
  } cases[] = {
      {"start", {{}, {}, {}, {}}, true},         {"stop", {{}, {}, {"stop"}, {"stop"}}, false},
      {"pause", {{}, {}, {"pause"}, {}}, false}, {"resume", {{}, {}, {}, {"start"}}, false},
      {"close", {{}, {}, {}, {}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    top.reset();
    make(list);
    for (int i = 1; i < 4; ++i)
      press_icon(list[i]);
    wipeModels.of(list[2])->set_state(WipeModel::State::Wiping);
    wipeModels.of(list[3])->set_state(WipeModel::State::Paused);
    FakeWipeModel* before[4] = {nullptr, wipeModels.of(list[1]), wipeModels.of(list[2]),
                                wipeModels.of(list[3])};
    for (FakeWipeModel* model : before)
      if (model != nullptr)
        model->clear_calls();

    const std::size_t madeBefore = wipeModels.made.size();
    DialogResponder answers;
    answers.then([&](GtkWindow* dialog) {
      // Ticked: the drive without a task and the idle one.
      GtkWidget* unselect = widget_by_id(GTK_WIDGET(dialog), "unselectAll");
      GtkWidget* select = widget_by_id(GTK_WIDGET(dialog), "selectAll");
      EXPECT_TRUE(gtk_widget_get_sensitive(unselect));
      EXPECT_TRUE(gtk_widget_get_sensitive(select));
    });
    answers.then([](GtkWindow* dialog) {
      gtk_button_clicked(GTK_BUTTON(widget_by_id(GTK_WIDGET(dialog), "selectAll")));
    });
    answers.click(c.button);
    if (c.newTasks)
      answers.click("gtk-yes");
    gtk_button_clicked(GTK_BUTTON(widget_by_id(top->widget(), "multiwipe")));
    ASSERT_GE(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Wipe Several Drives");
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      if (c.newTasks) {
        FakeWipeModel* now = wipeModels.of(list[i]);
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now->calls(), (std::vector<std::string>{
                                    "arm 0 " + std::to_string(list[i].sectors()) + " 0", "start"}));
      } else {
        EXPECT_EQ(wipeModels.of(list[i]), before[i]);
        if (before[i] != nullptr) {
          EXPECT_EQ(before[i]->calls(), c.calls[i]);
        }
      }
    }
    if (c.newTasks) {
      // A new task for each drive, the old ones closed with their models.
      EXPECT_EQ(wipeModels.made.size(), madeBefore + 4);
      std::size_t index = 0;
      for (const auto& made : wipeModels.made) {
        if (index++ < madeBefore) {
          EXPECT_TRUE(made.gone);
        }
      }
    } else {
      EXPECT_EQ(wipeModels.made.size(), madeBefore);
    }
    top->end_tasks();
  }
}

TEST_F(TopUITasksTest, TheQuitQuestionCountsTheUnfinishedWipes) {
  const std::vector<Drive> list = table_drives(5);
  make(list);
  const WipeModel::State states[] = {WipeModel::State::Wiping, WipeModel::State::Paused,
                                     WipeModel::State::Waiting, WipeModel::State::Done,
                                     WipeModel::State::Idle};
  for (int i = 0; i < 5; ++i) {
    press_icon(list[i]);
    wipeModels.of(list[i])->set_state(states[i]);
  }
  EXPECT_EQ(top->unfinished_wipes(), 3);
  DialogResponder answers;
  answers.click("gtk-no");
  EXPECT_FALSE(top->quit());
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, "Do you want to quit the program?\n\n3 wipes have not "
                                    "finished: quitting stops them.");
}

// With the real engines: every task's engines, a wipe's among them, end with the tasks.
TEST_F(TopUITasksTest, EndingTheTasksLeavesNoEngineBehind) {
  TestMachine machine(R"("drives": [
    {"number": 0, "size": 268435456, "product": "Model 0", "serial": "S0"},
    {"number": 1, "size": 524288, "product": "Model 1", "serial": "S1"}])");
  config::Value& configuration = program_config();
  configuration.set("Driver", std::string(CVW_PROGRAM_DIR) + "/cvwdrv");
  configuration["wipe"]["command"]["command"] = "wipe";
  configuration["wipe"]["command"]["updatePeriod"] = 1;
  ViewModelFactoryImpl views(configuration);
  WipeModelFactoryImpl wipes(configuration);
  std::vector<Drive> list = table_drives(2);
  list[0].set_sectors(524288);
  list[1].set_sectors(1024);
  factory.drives = list;
  top = std::make_unique<TopUI>(factory, views, wipes, tasks, GTK_WINDOW(window));
  gtk_container_add(GTK_CONTAINER(content), top->widget());
  show_main_window(window);
  press_icon(list[1]);
  press_icon(list[0]);
  // START, then CONTINUE: the wipe runs in an engine of its own.
  gtk_button_clicked(GTK_BUTTON(task_button(list[0], "start")));
  wait_past_double_click();
  gtk_button_clicked(GTK_BUTTON(task_button(list[0], "start")));
  EXPECT_TRUE(run_loop([] { return engine_children() == 3; }, 20 * G_USEC_PER_SEC))
      << engine_children() << " engines";

  top->end_tasks();
  EXPECT_TRUE(tasks.tasks().empty());
  EXPECT_TRUE(Process::reap_abandoned_children(5000));
  EXPECT_EQ(engine_children(), 0);
}

TEST_F(TopUITasksTest, Screenshot) {
  const std::vector<Drive> list = table_drives(6);
  make(list);
  press_icon(list[2]);
  wipeModels.of(list[2])->set_state(WipeModel::State::Wiping);
  wipeModels.of(list[2])->show_status("WIPING (pass 1 of 3) 38% - 2.000GB of 5.000GB");
  wipeModels.of(list[2])->show_percent(38);
  settle_window();
  save_screenshot(window, "TopUI-task-open");
}
