// The mouse wheel over the main window with a task that scrolls: it changes no setting of the
// task (every combo box and spin button keeps its value) and scrolls the task area instead;
// keys still change the settings.
#include "TopUIFixture.h"

#include "Keyboard.h"
#include "PartitionSample.h"
#include "Wheel.h"
#include "gtk/WorkArea.h"

#include <gdk/gdkkeysyms.h>

#include <string>
#include <vector>

namespace {

class TopUIWheelTest : public TopUIFixture {
protected:
  // A task of a drive with partitions (so that each area has items to change to), on a
  // laptop's screen, where the task area scrolls.
  void open_scrolling_task() {
    Drive drive = table_drive(0);
    drive.set_sectors(1953525168);
    drive.set_partitions({partition("600.0GB (Drive D:) NTFS - Data", 2048, 1171875000),
                          partition("400.0GB (Drive E:) NTFS - Backup", 1171877048, 781250000)});
    shown = drive;
    make({drive});
    gtk::set_work_area(GTK_WINDOW(window), GdkRectangle{0, 0, 1024, 738});
    press_icon(drive);
    settled_size();
    ASSERT_GT(gtk_adjustment_get_upper(scroll()), gtk_adjustment_get_page_size(scroll()))
        << "the task area scrolls";
  }
  GtkAdjustment* scroll() {
    return gtk_scrolled_window_get_vadjustment(
        GTK_SCROLLED_WINDOW(widget_by_id(top->widget(), "tasksScroller")));
  }
  // Scrolls the task area as little as it takes to show `widget`.
  void show(GtkWidget* widget) {
    gint x = 0, y = 0;
    gtk_widget_translate_coordinates(
        widget, GTK_WIDGET(widget_by_id(top->widget(), "tasksContainer")), 0, 0, &x, &y);
    gtk_adjustment_clamp_page(scroll(), y, y + widget->allocation.height);
    flush_events();
  }
  Drive shown;
};

// The value that the operator sets with `widget`: a combo box's item, a spin button's number.
double value_of(GtkWidget* widget) {
  return GTK_IS_COMBO_BOX(widget) ? gtk_combo_box_get_active(GTK_COMBO_BOX(widget))
                                  : gtk_spin_button_get_value(GTK_SPIN_BUTTON(widget));
}

// Every combo box and spin button under `root`.
std::vector<GtkWidget*> settings_under(GtkWidget* root) {
  std::vector<GtkWidget*> found;
  for (GtkWidget* widget : all_widgets(root))
    if (GTK_IS_COMBO_BOX(widget) || GTK_IS_SPIN_BUTTON(widget))
      found.push_back(widget);
  return found;
}

} // namespace

TEST_F(TopUIWheelTest, TheWheelScrollsTheTaskAreaAndChangesNoSetting) {
  open_scrolling_task();
  const std::vector<GtkWidget*> settings = settings_under(top->task_widget(shown));
  // The sector view's format, range and its three numbers, the sector; the wipe's area and its
  // three numbers, the method, the sectors per transfer and the sectors to skip.
  ASSERT_EQ(settings.size(), 13u);
  for (GtkWidget* setting : settings) {
    SCOPED_TRACE(gtk_buildable_get_name(GTK_BUILDABLE(setting)));
    const double before = value_of(setting);
    bool scrolled = false;
    for (GdkScrollDirection direction : {GDK_SCROLL_DOWN, GDK_SCROLL_UP, GDK_SCROLL_UP}) {
      show(setting);
      const double at = gtk_adjustment_get_value(scroll());
      GtkWidget* receiver = turn_wheel(setting, direction);
      ASSERT_TRUE(receiver == setting || gtk_widget_is_ancestor(receiver, setting))
          << "the wheel turned over " << G_OBJECT_TYPE_NAME(receiver);
      EXPECT_EQ(value_of(setting), before);
      scrolled = scrolled || gtk_adjustment_get_value(scroll()) != at;
    }
    EXPECT_TRUE(scrolled) << "the task area scrolled";
  }
}

// The keys change the settings as before.
TEST_F(TopUIWheelTest, KeysStillChangeTheSettings) {
  open_scrolling_task();
  give_keyboard_to(window);
  GtkWidget* task = top->task_widget(shown);
  // A combo box's Down takes the next item, a spin button's Up the next number.
  const struct {
    const char* id;
    guint key;
    double after;
  } cases[] = {{"wipeArea", GDK_Down, 1},
               {"operationMode", GDK_Down, 1},
               {"sectorsPerTime", GDK_Up, 257},
               {"lba", GDK_Up, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    GtkWidget* setting = widget_by_id(task, c.id);
    gtk_widget_grab_focus(setting);
    press_key(window, c.key);
    EXPECT_EQ(value_of(setting), c.after);
  }
}
