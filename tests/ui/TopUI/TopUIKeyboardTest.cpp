// The main window without a mouse: Tab reaches every drive's icon (and no empty slot), Return
// and Space open, hide and show its task as a press does; the buttons that show only a picture
// are named for assistive tools and explained by a tooltip.
#include "TopUIFixture.h"

#include "Keyboard.h"
#include "Screenshot.h"

#include <gdk/gdkkeysyms.h>

#include <set>
#include <vector>

namespace {

using TopUIKeyboardTest = TopUIFixture;

} // namespace

TEST_F(TopUIKeyboardTest, TabReachesEachDriveAndReturnOpensIt) {
  const std::vector<Drive> list = table_drives(3);
  TopUI& ui = make(list);
  give_keyboard_to(window);

  // One round of Tab through the window.
  std::set<GtkWidget*> reached;
  for (int i = 0; i < 40; ++i) {
    press_key(window, GDK_Tab);
    reached.insert(gtk_window_get_focus(GTK_WINDOW(window)));
  }
  for (int i = 0; i < TopUI::icon_count; ++i)
    EXPECT_EQ(reached.count(ui.icon(i).focus_widget()), i < 3 ? 1u : 0u) << "icon " << i;

  while (gtk_window_get_focus(GTK_WINDOW(window)) != ui.icon(1).focus_widget())
    press_key(window, GDK_Tab);
  save_screenshot(window, "TopUI-focus-on-a-drive");
  press_key(window, GDK_Return);
  ASSERT_NE(ui.task_widget(list[1]), nullptr);
  EXPECT_TRUE(ui.icon(1).selected());
  EXPECT_TRUE(gtk_widget_get_visible(ui.task_widget(list[1])));
  // The focus stays on the icon: the same key hides the task, Space shows it again.
  ASSERT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), ui.icon(1).focus_widget());
  press_key(window, GDK_Return);
  EXPECT_FALSE(ui.icon(1).selected());
  press_key(window, GDK_space);
  EXPECT_TRUE(ui.icon(1).selected());
  EXPECT_EQ(tasks.tasks().size(), 1u);
}

TEST_F(TopUIKeyboardTest, PictureButtonsAreNamedAndExplained) {
  TopUI& ui = make(table_drives(1));
  const struct {
    const char* id;
    const char* name;
  } buttons[] = {{"help", "Help"}, {"close", "Quit"}};
  for (const auto& button : buttons) {
    SCOPED_TRACE(button.id);
    GtkWidget* widget = widget_by_id(ui.widget(), button.id);
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(widget)), button.name);
    gchar* tooltip = gtk_widget_get_tooltip_text(widget);
    EXPECT_NE(tooltip, nullptr);
    EXPECT_STRNE(tooltip, "");
    g_free(tooltip);
  }
}
