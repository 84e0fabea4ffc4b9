// The main window on screens of different sizes: it never grows past the work area (the open
// task scrolls instead, and the keyboard's focus scrolls it), hidden tasks take no room, and
// pictures of it with one and with four tasks at 1366x768 and at 1280x1024.
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
  // The window's size once it has become what it asks for: the X server's answer to a resize
  // can take a while on a busy machine.
  GtkAllocation size() {
    run_loop(
        [&] {
          flush_events();
          GtkRequisition wanted;
          gtk_widget_get_child_requisition(window, &wanted);
          return !gtk_events_pending() && window->allocation.width == wanted.width &&
                 window->allocation.height == wanted.height;
        },
        20 * G_USEC_PER_SEC);
    return window->allocation;
  }
  GtkScrolledWindow* scroller() {
    return GTK_SCROLLED_WINDOW(widget_by_id(top->widget(), "tasksScroller"));
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
};

// Drives as a desktop has them: a 16 TB disk with volumes of long names, and smaller ones.
std::vector<Drive> desktop_drives() {
  std::vector<Drive> list = table_drives(4);
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

class TopUIFitsTheScreen : public TopUIFitTest, public testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(Tasks, TopUIFitsTheScreen, testing::Values(1, 4),
                         [](const testing::TestParamInfo<int>& info) {
                           return info.param == 1 ? std::string("OneTask") : "FourTasks";
                         });

// On a screen of 1366x768 the window with a task is as high as the screen; the header and the
// drives stay, the task scrolls, and what the keyboard focuses in it comes into view.
TEST_P(TopUIFitsTheScreen, At1366x768) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  fit_into(1366, 768);
  for (int i = 0; i < GetParam(); ++i)
    press_icon(list[i]);
  const Drive& shown = list[GetParam() - 1];
  const GtkAllocation window_size = size();
  EXPECT_EQ(window_size.height, 768);
  EXPECT_LE(window_size.width, 1366);
  for (const char* id : {"close", "help", "rescan", "multiwipe", "label"})
    EXPECT_TRUE(in_window(widget_by_id(top->widget(), id))) << id;
  for (int i = 0; i < TopUI::icon_count; ++i)
    EXPECT_TRUE(in_window(top->icon(i).widget())) << "icon " << i;

  GtkAdjustment* scroll = gtk_scrolled_window_get_vadjustment(scroller());
  EXPECT_EQ(gtk_adjustment_get_value(scroll), 0) << "a task comes into view from its top";
  EXPECT_GT(gtk_adjustment_get_upper(scroll), gtk_adjustment_get_page_size(scroll));
  EXPECT_TRUE(in_view(task_button(shown, "blink")));
  EXPECT_FALSE(in_view(task_button(shown, "verify")));
  for (const char* id : {"start", "stop", "wipeFinish", "operationMode", "verify", "textview"}) {
    SCOPED_TRACE(id);
    GtkWidget* widget = task_button(shown, id);
    ASSERT_NE(widget, nullptr);
    gtk_widget_grab_focus(widget);
    EXPECT_TRUE(in_view(widget));
  }
}

// The window with a task fits a screen of 1280x1024 without scrolling.
TEST_F(TopUIFitTest, At1280x1024NothingScrolls) {
  const std::vector<Drive> list = desktop_drives();
  make(list);
  fit_into(1280, 1024);
  press_icon(list[0]);
  const GtkAllocation window_size = size();
  EXPECT_LT(window_size.height, 1024);
  GtkAdjustment* scroll = gtk_scrolled_window_get_vadjustment(scroller());
  EXPECT_LE(gtk_adjustment_get_upper(scroll), gtk_adjustment_get_page_size(scroll));
}

// TopUI-<size>-<tasks>-en.png: the window as an operator sees it on a laptop's screen and on an
// office screen, with the 16 TB disk's task wiping, then with four tasks. (The German pictures
// come from the real program, tests/e2e/desk_screens.py: in a test process GLib has settled for
// untranslated interface files before a test can switch the language.)
TEST_F(TopUIFitTest, PicturesOnTwoScreens) {
  LogCapture quiet; // the notifier finds no sound player here
  const std::vector<Drive> list = desktop_drives();
  make(list);
  const struct { int width, height; } screens[] = {{1366, 768}, {1280, 1024}};
  for (const auto& screen : screens) {
    const std::string name =
        "TopUI-" + std::to_string(screen.width) + "x" + std::to_string(screen.height) + "-";
    fit_into(screen.width, screen.height);
    press_icon(list[0]);
    FakeWipeModel* wipe = wipeModels.of(list[0]);
    wipe->set_state(WipeModel::State::Wiping);
    wipe->show_status("WIPING (pass 1 of 1) 38% - 6.080TB of 16.00TB");
    wipe->show_percent(38);
    size();
    save_screenshot(window, name + "one-task-en");
    for (int i = 1; i < 4; ++i)
      press_icon(list[i]);
    size();
    save_screenshot(window, name + "four-tasks-en");
    top->end_tasks();
  }
}
