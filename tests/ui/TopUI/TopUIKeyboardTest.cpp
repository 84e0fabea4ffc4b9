// The main window without a mouse: Tab reaches every drive's icon and the buttons (and no empty
// slot, nor the empty task area), Return and Space open, hide and show its task as a press does,
// CLOSE gives the focus back to the drive's icon, the help menu opens at its button, the wipe
// panel's buttons answer their keys, the focus never rests on a control the wipe froze, and no
// key reaches a wipe of several drives; the buttons that show only a picture are named for
// assistive tools and explained by a tooltip.
#include "TopUIFixture.h"

#include "DoubleClick.h"
#include "Keyboard.h"
#include "Screenshot.h"

#include <gdk/gdkkeysyms.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

class TopUIKeyboardTest : public TopUIFixture {
protected:
  // Alt and the key underlined on the button `id` of the drive's task, then the wait for
  // `clicked`, which comes a moment after a key.
  void press_mnemonic(const Drive& drive, const char* id, const std::function<bool()>& clicked) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(task_button(drive, id)));
    const guint key = gtk_label_get_mnemonic_keyval(GTK_LABEL(label));
    ASSERT_NE(key, guint{GDK_VoidSymbol}) << gtk_label_get_label(GTK_LABEL(label));
    EXPECT_TRUE(gtk_window_mnemonic_activate(GTK_WINDOW(window), key, GDK_MOD1_MASK));
    EXPECT_TRUE(run_loop(clicked, 10 * G_USEC_PER_SEC)) << id;
  }
};

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
  // Besides the icons only the four buttons of the title: with no task open the empty task
  // area is no stop of its own.
  std::set<GtkWidget*> expected = {ui.icon(0).focus_widget(), ui.icon(1).focus_widget(),
                                   ui.icon(2).focus_widget()};
  for (const char* id : {"rescan", "multiwipe", "help", "close"})
    expected.insert(widget_by_id(ui.widget(), id));
  std::string stops;
  for (GtkWidget* stop : reached)
    stops += std::string(" ") + G_OBJECT_TYPE_NAME(stop) + " " + gtk_widget_get_name(stop);
  EXPECT_EQ(reached, expected) << "the stops of Tab:" << stops;

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

// CLOSE pressed from the keyboard closes the task, and the focus is back on the drive's icon,
// where the operator opened it: not lost with the task.
TEST_F(TopUIKeyboardTest, AfterCloseTheFocusIsBackOnTheDrivesIcon) {
  const std::vector<Drive> list = table_drives(3);
  TopUI& ui = make(list);
  give_keyboard_to(window);
  gtk_widget_grab_focus(ui.icon(2).focus_widget());
  press_key(window, GDK_Return);
  ASSERT_NE(ui.task_widget(list[2]), nullptr);
  gtk_widget_grab_focus(task_button(list[2], "stop"));
  press_key(window, GDK_space);
  // A button pressed by key clicks a moment later.
  ASSERT_TRUE(run_loop([&] { return tasks.tasks().empty(); }, 10 * G_USEC_PER_SEC));
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), ui.icon(2).focus_widget());
}

// The help menu opened from the keyboard drops down from its button, wherever the pointer is
// (the tests keep it in the far corner of the screen).
TEST_F(TopUIKeyboardTest, TheHelpMenuOpensAtItsButton) {
  TopUI& ui = make(table_drives(1));
  settled_size(); // the window in its place
  give_keyboard_to(window);
  GtkWidget* help = widget_by_id(ui.widget(), "help");
  gtk_widget_grab_focus(help);
  GtkWidget* menu = GTK_WIDGET(ui.help_menu());
  // A menu shows only when it gets the pointer grab, which another test on the same display may
  // hold for a moment: press again until it shows.
  gint64 pressed = 0;
  ASSERT_TRUE(run_loop(
      [&] {
        if (!gtk_widget_get_visible(menu) && g_get_monotonic_time() - pressed > G_USEC_PER_SEC) {
          pressed = g_get_monotonic_time();
          press_key(window, GDK_space);
        }
        return gtk_widget_get_visible(menu) && gtk_widget_get_mapped(menu);
      },
      20 * G_USEC_PER_SEC));
  flush_events();
  gint menuX = 0, menuY = 0, buttonX = 0, buttonY = 0;
  gdk_window_get_origin(gtk_widget_get_window(gtk_widget_get_toplevel(menu)), &menuX, &menuY);
  gdk_window_get_origin(gtk_widget_get_window(help), &buttonX, &buttonY);
  buttonX += help->allocation.x;
  buttonY += help->allocation.y;
  const int menuWidth = gtk_widget_get_toplevel(menu)->allocation.width;
  EXPECT_EQ(menuY, buttonY + help->allocation.height) << "the menu's top at the button's foot";
  EXPECT_EQ(menuX + menuWidth, buttonX + help->allocation.width) << "the right edges in line";
  gtk_menu_popdown(ui.help_menu());
}

// The wipe panel's two buttons answer the keys their labels underline, in each state: START
// arms the wipe, CONTINUE starts it, CANCEL stops it.
TEST_F(TopUIKeyboardTest, TheWipeButtonsAnswerTheirKeys) {
  const std::vector<Drive> list = table_drives(1);
  make(list);
  press_icon(list[0]);
  give_keyboard_to(window);
  FakeWipeModel* model = wipeModels.of(list[0]);
  press_mnemonic(list[0], "start", [&] { return model->state() == WipeModel::State::Waiting; });
  wait_past_double_click();
  model->clear_calls();
  press_mnemonic(list[0], "start", [&] { return !model->calls().empty(); });
  EXPECT_EQ(model->calls(), std::vector<std::string>{"start"});
  model->set_state(WipeModel::State::Wiping);
  press_mnemonic(list[0], "stop", [&] { return model->state() == WipeModel::State::Idle; });
}

// A change of the wipe's state that freezes the control with the keyboard's focus leaves the
// focus on a control that takes it, not on nothing: START by its key from the method chooser
// (reached by its own key) or from a check box of the options puts it on CANCEL, where a key
// does no harm; the end of a wipe, which greys CANCEL, on CONTINUE. A focus that stays usable
// stays where it is.
TEST_F(TopUIKeyboardTest, TheFocusLandsWhereAKeyIsSafe) {
  const std::vector<Drive> list = table_drives(1);
  make(list);
  press_icon(list[0]);
  give_keyboard_to(window);
  FakeWipeModel* model = wipeModels.of(list[0]);
  auto armed = [&] { return model->state() == WipeModel::State::Waiting; };
  const struct {
    const char* focused;
    const char* then;
  } starts[] = {{"operationMode", "stop"}, {"verify", "stop"}, {"start", "start"}};
  for (const auto& c : starts) {
    SCOPED_TRACE(c.focused);
    gtk_widget_grab_focus(task_button(list[0], c.focused));
    ASSERT_TRUE(gtk_widget_is_ancestor(gtk_window_get_focus(GTK_WINDOW(window)),
                                       task_button(list[0], c.focused)) ||
                gtk_window_get_focus(GTK_WINDOW(window)) == task_button(list[0], c.focused));
    press_mnemonic(list[0], "start", armed);
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), task_button(list[0], c.then));
    gtk_button_clicked(GTK_BUTTON(task_button(list[0], "stop"))); // CANCEL
    wait_past_double_click();
  }

  gtk_widget_grab_focus(task_button(list[0], "stop"));
  model->set_state(WipeModel::State::Wiping);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), task_button(list[0], "stop"));
  model->set_state(WipeModel::State::Done);
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), task_button(list[0], "start"));
}

// No key reaches a wipe of several drives: with a wipe armed, Alt and each key that "Wipe all
// drives" and "Multi-Wipe" once underlined in English or in German (Alt+D, the natural guess
// Alt+W for German WEITER, Alt+U, Alt+F) clicks neither.
TEST_F(TopUIKeyboardTest, NoKeyReachesAWipeOfSeveralDrives) {
  const std::vector<Drive> list = table_drives(2);
  make(list);
  press_icon(list[0]);
  give_keyboard_to(window);
  gtk_button_clicked(GTK_BUTTON(task_button(list[0], "start")));
  ASSERT_EQ(wipeModels.of(list[0])->state(), WipeModel::State::Waiting);
  int clicks = 0;
  for (GtkWidget* button :
       {task_button(list[0], "wipeAll"), widget_by_id(top->widget(), "multiwipe")}) {
    // Counted instead of done.
    const guint clicked = g_signal_lookup("clicked", GTK_TYPE_BUTTON);
    while (const gulong handler = g_signal_handler_find(
               button, GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_UNBLOCKED), clicked, 0,
               nullptr, nullptr, nullptr))
      g_signal_handler_block(button, handler);
    g_signal_connect(button, "clicked",
                     G_CALLBACK(+[](GtkButton*, gpointer count) { ++*static_cast<int*>(count); }),
                     &clicks);
  }
  for (guint key : {GDK_d, GDK_w, GDK_u, GDK_f}) {
    SCOPED_TRACE(gdk_keyval_name(key));
    gtk_window_mnemonic_activate(GTK_WINDOW(window), key, GDK_MOD1_MASK);
    // A key clicks its button a moment later.
    run_loop([] { return false; }, 500 * 1000);
    EXPECT_EQ(clicks, 0);
  }
}
