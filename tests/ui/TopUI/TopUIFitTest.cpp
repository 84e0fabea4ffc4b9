// The main window on screens of different sizes: it never grows past the work area; on a low
// screen the sector's text gives up height first, and where even that is not enough the task
// scrolls and opens on its wipe panel, which lies wholly in view; hidden tasks take no room; and
// pictures of it with one and with four tasks on a laptop's screen with a panel (1366 and 1024
// wide) and on an office screen. The build runs these tests in German too.
#include "TopUIFixture.h"

#include "LogCapture.h"
#include "PartitionSample.h"
#include "Screenshot.h"
#include "gtk/WorkArea.h"

#include <string>
#include <vector>

namespace {

class TopUIFitTest : public TopUIFixture {
protected:
  // The window as it is fitted into a work area of `width` x `height`.
  void fit_into(int width, int height) {
    gtk::set_work_area(GTK_WINDOW(window), GdkRectangle{0, 0, width, height});
    gtk_widget_queue_resize(window);
    size();
  }
  GtkAllocation size() { return settled_size(); }
  GtkScrolledWindow* scroller() {
    return GTK_SCROLLED_WINDOW(widget_by_id(top->widget(), "tasksScroller"));
  }
  GtkAdjustment* scroll() { return gtk_scrolled_window_get_vadjustment(scroller()); }
  bool scrolls() {
    return gtk_adjustment_get_upper(scroll()) > gtk_adjustment_get_page_size(scroll());
  }
  // Whether `widget` lies wholly in the part of the task area that is shown.
  bool in_view(GtkWidget* widget) {
    flush_events();
    GtkWidget* area = GTK_WIDGET(scroller());
    gint x = 0, y = 0;
    if (!gtk_widget_translate_coordinates(widget, area, 0, 0, &x, &y))
      return false;
    return x >= 0 && y >= 0 && x + widget->allocation.width <= area->allocation.width &&
           y + widget->allocation.height <= area->allocation.height;
  }
  // Whether `widget` lies wholly inside the window.
  bool in_window(GtkWidget* widget) {
    gint x = 0, y = 0;
    return gtk_widget_translate_coordinates(widget, window, 0, 0, &x, &y) && x >= 0 && y >= 0 &&
           x + widget->allocation.width <= window->allocation.width &&
           y + widget->allocation.height <= window->allocation.height;
  }
  // The height of the sector's text of the drive's task, frame included.
  int dump_height(const Drive& drive) {
    return task_button(drive, "scrolledwindow")->allocation.height;
  }
  // The control `id` of the wipe panel of the drive's task.
  GtkWidget* wipe_control(const Drive& drive, const char* id) {
    return widget_by_id(task_button(drive, "WipeUI"), id);
  }
  // Opens the tasks of the first `count` drives of `list`, each pressed in turn.
  void open_tasks(const std::vector<Drive>& list, int count) {
    for (int i = 0; i < count; ++i)
      press_icon(list[i]);
    size();
  }
};

// Drives as a desktop has them: a 16 TB disk with volumes of long names, and smaller ones.
std::vector<Drive> desktop_drives() {
  std::vector<Drive> list = table_drives(4);
  for (int i = 0; i < 4; ++i)
    list[i].set_system_name(std::string("/dev/sd") + static_cast<char>('a' + i));
  list[0].set_model("ST16000NM001G-2KK103");
  list[0].set_serial("ZL2B9Q4K");
  list[0].set_sectors(31251759104ULL);
  list[0].set_partitions(
      {partition("16.78MB", 34, 32768),
       partition("12.00TB (Drive E:) NTFS - Archive of the year 2023", 32802, 23437500000ULL),
       partition("4.001TB (Drive F:) NTFS - Backups of the workstations", 23437532802ULL,
                 7814026240ULL)});
  list[1].set_model("WDC WD10EZEX-08WN4A0");
  list[1].set_sectors(1953525168);
  list[1].set_partitions({partition("600.0GB (Drive D:) NTFS - Data", 2048, 1171875000),
                          partition("400.0GB (Drive E:) NTFS - Backup", 1171877048, 781250000)});
  list[2].set_model("Samsung SSD 870 EVO 250GB");
  list[2].set_sectors(488397168);
  list[3].set_model("Kingston DataTraveler 3.0");
  list[3].set_sectors(30283008);
  return list;
}

// What the operator needs to start a wipe: the status line, the buttons, the area, the method
// and every option.
const char* const wipe_panel_controls[] = {"message",
                                           "start",
                                           "stop",
                                           "logFile",
                                           "wipeAll",
                                           "toggle",
                                           "wipeArea",
                                           "wipeStart",
                                           "wipeSectors",
                                           "wipeFinish",
                                           "operationMode",
                                           "fillPattern",
                                           "fillPatternFromFile",
                                           "sectorsPerTime",
                                           "jumpSectors",
                                           "jumpDouble",
                                           "ignoreWriteErrors",
                                           "ignoreReadErrors",
                                           "ignoreCompareErrors",
                                           "verify"};

// The sector's text never shrinks below a few lines; beside an armed wipe, below one.
constexpr int least_dump_height = 40;
constexpr int least_armed_dump_height = 16;

// The height of the window on a laptop's screen 768 pixels high with a panel of 30 at its foot:
// centred on the screen, it reaches from the screen's middle to the panel both ways.
constexpr int laptop_window_height = 2 * (768 - 30) - 768;

// What tells the operator which drive a wipe armed on it will wipe, and how to go on or not.
const char* const armed_task_controls[] = {"model", "serial", "message", "start", "stop"};

} // namespace

TEST_F(TopUIFitTest, HiddenTasksTakeNoRoom) {
  const std::vector<Drive> list = table_drives(4);
  make(list);
  fit_into(1280, 4000);
  const int empty = size().height;
  press_icon(list[0]);
  const int one = size().height;
  EXPECT_GT(one, empty);
  for (int i = 1; i < 4; ++i)
    press_icon(list[i]);
  EXPECT_EQ(size().height, one) << "three hidden tasks";
  press_icon(list[3]); // hides the shown task
  EXPECT_EQ(size().height, empty) << "four hidden tasks";
  press_icon(list[3]);
  gtk_button_clicked(GTK_BUTTON(task_button(list[3], "stop"))); // CLOSE
  ASSERT_EQ(tasks.tasks().size(), 3u);
  EXPECT_EQ(size().height, empty) << "the shown task closed";
}

// On a laptop's screen with a panel the window with a task is as high as the work area; the
// header and the drives stay, and a task just opened shows its whole wipe panel without the
// operator scrolling: the sector's text above it has given up height, and the task area has
// scrolled to the wipe panel. What the keyboard focuses above it comes into view.
TEST_F(TopUIFitTest, ATaskOpensWithItsWipePanelInView) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  const struct {
    int width, height, tasks;
  } cases[] = {{1366, 738, 1}, {1366, 738, 4}, {1024, 738, 1}, {1024, 738, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " +
                 std::to_string(c.tasks) + " tasks");
    fit_into(c.width, c.height);
    open_tasks(list, c.tasks);
    const Drive& shown = list[c.tasks - 1];
    const GtkAllocation window_size = size();
    EXPECT_EQ(window_size.height, c.height);
    EXPECT_LE(window_size.width, c.width);
    for (const char* id : {"close", "help", "rescan", "multiwipe", "label"})
      EXPECT_TRUE(in_window(widget_by_id(top->widget(), id))) << id;
    for (int i = 0; i < TopUI::icon_count; ++i)
      EXPECT_TRUE(in_window(top->icon(i).widget())) << "icon " << i;

    for (const char* id : wipe_panel_controls)
      EXPECT_TRUE(in_view(wipe_control(shown, id))) << id;
    EXPECT_GE(dump_height(shown), least_dump_height);
    // The view starts at the top of the sector's text: no control above it is cut in half.
    EXPECT_TRUE(in_view(task_button(shown, "scrolledwindow")));
    EXPECT_TRUE(scrolls());

    // Hidden and shown again, the task opens on its wipe panel again.
    gtk_adjustment_set_value(scroll(), 0);
    press_icon(shown);
    press_icon(shown);
    size();
    EXPECT_TRUE(in_view(task_button(shown, "start")));
    EXPECT_TRUE(in_view(task_button(shown, "verify")));

    for (const char* id : {"blink", "lba", "viewArea", "start", "verify", "textview"}) {
      SCOPED_TRACE(id);
      GtkWidget* widget = task_button(shown, id);
      ASSERT_NE(widget, nullptr);
      gtk_widget_grab_focus(widget);
      EXPECT_TRUE(in_view(widget));
    }
    top->end_tasks();
  }
}

// Armed, a task shows which drive the wipe waits to wipe: the drive's device, model and serial
// lie in view together with the READY question, CONTINUE and CANCEL on a laptop's screen with a
// panel, with one task and with four, the sector's text having given up height for them (on a
// lower screen down to its first line). So it stays while the wipe runs and after it, and when
// the task is hidden and shown again.
TEST_F(TopUIFitTest, AnArmedTaskShowsItsDriveBesideContinue) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  const struct {
    int width, height, tasks;
  } cases[] = {{1366, laptop_window_height, 1},
               {1366, laptop_window_height, 4},
               {1024, laptop_window_height, 1},
               {1024, laptop_window_height, 4},
               {1024, laptop_window_height - 40, 1}};
  for (const auto& c : cases) {
    const int height = c.height;
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(height) + ", " +
                 std::to_string(c.tasks) + " tasks");
    fit_into(c.width, height);
    open_tasks(list, c.tasks);
    const Drive& shown = list[c.tasks - 1];
    gtk_button_clicked(GTK_BUTTON(task_button(shown, "start")));
    ASSERT_EQ(wipeModels.of(shown)->state(), WipeModel::State::Waiting);
    EXPECT_EQ(size().height, height);
    const std::string model = gtk_label_get_text(GTK_LABEL(task_button(shown, "model")));
    EXPECT_EQ(model, shown.system_name() + "  " + shown.model());
    for (const char* id : armed_task_controls)
      EXPECT_TRUE(in_view(task_button(shown, id))) << id;
    EXPECT_GE(dump_height(shown), least_armed_dump_height);

    const struct {
      const char* step;
      WipeModel::State state;
    } steps[] = {{"wiping", WipeModel::State::Wiping},
                 {"done", WipeModel::State::Done},
                 {"ready again", WipeModel::State::Idle}};
    for (const auto& step : steps) {
      SCOPED_TRACE(step.step);
      wipeModels.of(shown)->set_state(step.state);
      size();
      for (const char* id : armed_task_controls)
        EXPECT_TRUE(in_view(task_button(shown, id))) << id;
    }
    wipeModels.of(shown)->set_state(WipeModel::State::Waiting);
    press_icon(shown); // hidden
    size();
    press_icon(shown); // and shown again
    size();
    for (const char* id : armed_task_controls)
      EXPECT_TRUE(in_view(task_button(shown, id))) << id;
    top->end_tasks();
  }
}

// Without its options the task fits the laptop's screen whole; shown again, the options come
// into view (the task area scrolls for them), and so does the sector view's range.
TEST_F(TopUIFitTest, PartsShownAgainComeIntoView) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  fit_into(1366, 738);
  open_tasks(list, 1);
  GtkWidget* options = wipe_control(list[0], "toggle");
  gtk_button_clicked(GTK_BUTTON(options)); // hides them
  size();
  EXPECT_FALSE(scrolls());
  EXPECT_TRUE(in_view(task_button(list[0], "blink")));
  EXPECT_TRUE(in_view(wipe_control(list[0], "start")));
  EXPECT_GE(dump_height(list[0]), least_dump_height);

  gtk_button_clicked(GTK_BUTTON(options)); // shows them
  size();
  EXPECT_TRUE(scrolls());
  for (const char* id : {"start", "wipeArea", "verify"})
    EXPECT_TRUE(in_view(wipe_control(list[0], id))) << id;

  GtkWidget* range = task_button(list[0], "toggle"); // the sector view's
  gtk_button_clicked(GTK_BUTTON(range));             // hides the range
  size();
  gtk_adjustment_set_value(scroll(), gtk_adjustment_get_upper(scroll()));
  gtk_button_clicked(GTK_BUTTON(range)); // shows it
  size();
  EXPECT_TRUE(in_view(task_button(list[0], "viewArea")));
}

// A little lower than the window wants to be, the sector's text alone gives up height: nothing
// scrolls and the whole task is in view.
TEST_F(TopUIFitTest, ALittleTooLowTheSectorTextGivesUpHeight) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  fit_into(1280, 1024);
  press_icon(list[0]);
  const int tall = size().height;
  const int dump = dump_height(list[0]);
  fit_into(1280, tall - 60);
  EXPECT_EQ(size().height, tall - 60);
  EXPECT_EQ(dump_height(list[0]), dump - 60);
  EXPECT_FALSE(scrolls());
  for (const char* id : {"blink", "format", "viewArea", "lba", "start", "verify"})
    EXPECT_TRUE(in_view(task_button(list[0], id))) << id;

  // And back on a high screen it takes its height back.
  fit_into(1280, 1024);
  EXPECT_EQ(size().height, tall);
  EXPECT_EQ(dump_height(list[0]), dump);
}

// The window with a task fits a screen of 1280x1024 without scrolling, the sector's text at its
// full height.
TEST_F(TopUIFitTest, At1280x1024NothingScrolls) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  fit_into(1280, 1024);
  press_icon(list[0]);
  const GtkAllocation window_size = size();
  EXPECT_LT(window_size.height, 1024);
  EXPECT_FALSE(scrolls());
  EXPECT_EQ(dump_height(list[0]), 180);
}

// TopUI-<size>-<tasks>[-<state>].png: the window as an operator sees it on a laptop's screen with
// a panel (1366 and 1024 pixels wide) and on an office screen, with the 16 TB disk's task just
// opened, armed and wiping, then with four tasks, the fourth just opened and armed.
TEST_F(TopUIFitTest, PicturesOnThreeScreens) {
  LogCapture quiet;         // the notifier finds no sound player here
  viewModels.latencyMs = 1; // the sector's text shows
  const std::vector<Drive> list = desktop_drives();
  make(list);
  const struct {
    int width, height;
  } screens[] = {{1366, laptop_window_height}, {1024, laptop_window_height}, {1280, 1024}};
  for (const auto& screen : screens) {
    const std::string name =
        "TopUI-" + std::to_string(screen.width) + "x" + std::to_string(screen.height) + "-";
    fit_into(screen.width, screen.height);
    press_icon(list[0]);
    size();
    save_screenshot(window, name + "one-task");
    gtk_button_clicked(GTK_BUTTON(task_button(list[0], "start")));
    size();
    save_screenshot(window, name + "one-task-armed");
    FakeWipeModel* wipe = wipeModels.of(list[0]);
    wipe->set_state(WipeModel::State::Wiping);
    wipe->show_status("WIPING (pass 1 of 1) 38% - 6.080TB of 16.00TB");
    wipe->show_percent(38);
    size();
    save_screenshot(window, name + "one-task-wiping");
    for (int i = 1; i < 4; ++i)
      press_icon(list[i]);
    size();
    save_screenshot(window, name + "four-tasks");
    gtk_button_clicked(GTK_BUTTON(task_button(list[3], "start")));
    size();
    save_screenshot(window, name + "four-tasks-armed");
    top->end_tasks();
  }
}
