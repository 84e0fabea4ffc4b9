#include "gtk/Widgets.h"
#include "gtk/ButtonUI.h"

#include "GuiEnvironment.h"
#include "MainLoop.h"
#include "Thrown.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace {

// Three labels in a shown window, grouped.
class WidgetsTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    for (int i = 0; i < 3; ++i) {
      GtkWidget* label = gtk_label_new("x");
      gtk_container_add(GTK_CONTAINER(box), label);
      group.add(label);
    }
    gtk_widget_show_all(window);
  }

  // "v" for each visible widget, "-" for each hidden one.
  std::string shown() {
    std::string s;
    for (unsigned i = 0; i < group.size(); ++i)
      s += group.is_visible(i) ? "v" : "-";
    return s;
  }
  std::string sensitive() {
    std::string s;
    for (unsigned i = 0; i < group.size(); ++i)
      s += group.is_sensitive(i) ? "s" : "-";
    return s;
  }

  gtk::Widgets group;
};

} // namespace

TEST_F(WidgetsTest, IndexedOperationsRejectAnIndexPastTheEndAndChangeNothing) {
  group.set_visible(1, false);
  group.set_sensitive(2, false);
  const struct {
    const char* operation;
    std::function<void(unsigned)> call;
    const char* error;
  } cases[] = {
      {"widget", [&](unsigned i) { group.widget(i); }, "Widgets.cpp(104)"},
      {"is_visible", [&](unsigned i) { group.is_visible(i); }, "Widgets.cpp(32)"},
      {"set_visible", [&](unsigned i) { group.set_visible(i, true); }, "Widgets.cpp(38)"},
      {"show_only", [&](unsigned i) { group.show_only(i, true); }, "Widgets.cpp(53)"},
      {"is_sensitive", [&](unsigned i) { group.is_sensitive(i); }, "Widgets.cpp(62)"},
      {"set_sensitive", [&](unsigned i) { group.set_sensitive(i, true); }, "Widgets.cpp(68)"},
      {"enable_only", [&](unsigned i) { group.enable_only(i, true); }, "Widgets.cpp(81)"},
      {"blink", [&](unsigned i) { group.blink(i, 50); }, "Widgets.cpp(95)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    EXPECT_EQ(thrown_text([&] { c.call(3); }), c.error);
    EXPECT_EQ(thrown_text([&] { c.call(1000); }), c.error);
    EXPECT_EQ(thrown_text([&] { c.call(2); }), "(nothing thrown)");
    // Put back what the good call changed.
    group.stop_blink();
    group.set_all_visible(true);
    group.set_visible(1, false);
    group.set_all_sensitive(true);
    group.set_sensitive(2, false);
  }
  EXPECT_EQ(shown(), "v-v");
  EXPECT_EQ(sensitive(), "ss-");
  EXPECT_FALSE(group.blinking());
}

TEST_F(WidgetsTest, OneWidgetAgainstTheOthers) {
  const struct {
    bool visibility; // show_only, else enable_only
    unsigned index;
    bool on;
    const char* expected;
  } cases[] = {
      {true, 0, true, "v--"},  {true, 1, false, "v-v"},  {true, 2, true, "--v"},
      {false, 0, true, "s--"}, {false, 1, false, "s-s"}, {false, 2, false, "ss-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.visibility << " " << c.index << " " << c.on);
    if (c.visibility) {
      group.show_only(c.index, c.on);
      EXPECT_EQ(shown(), c.expected);
    } else {
      group.enable_only(c.index, c.on);
      EXPECT_EQ(sensitive(), c.expected);
    }
  }
  group.set_all_visible(false);
  EXPECT_EQ(shown(), "---");
  group.set_all_sensitive(true);
  EXPECT_EQ(sensitive(), "sss");
}

TEST_F(WidgetsTest, BlinkFlipsOneWidgetUntilItStops) {
  group.blink(1, 10);
  EXPECT_TRUE(group.blinking());
  // Only widget 1 changes, off and on again.
  std::string off;
  std::string on;
  ASSERT_TRUE(run_loop([&] { return !group.is_visible(1) && !(off = shown()).empty(); },
                       5 * G_USEC_PER_SEC));
  ASSERT_TRUE(
      run_loop([&] { return group.is_visible(1) && !(on = shown()).empty(); }, 5 * G_USEC_PER_SEC));
  EXPECT_EQ(off, "v-v");
  EXPECT_EQ(on, "vvv");
  // Sensitivity leaves the blink alone; visibility stops it, then applies.
  group.set_all_sensitive(false);
  EXPECT_TRUE(group.blinking());
  group.show_only(1, false);
  EXPECT_FALSE(group.blinking());
  EXPECT_EQ(shown(), "v-v");
  run_loop([] { return false; }, 50 * 1000);
  EXPECT_EQ(shown(), "v-v");
}

TEST_F(WidgetsTest, BlinkAskedAgainKeepsItsTimerUnlessWidgetOrPeriodChange) {
  group.blink(1, 500);
  const guint first = group.blink_source();
  ASSERT_NE(first, 0u);
  group.blink(1, 500);
  EXPECT_EQ(group.blink_source(), first);
  group.blink(1, 400);
  const guint second = group.blink_source();
  EXPECT_NE(second, first);
  group.blink(2, 400);
  EXPECT_NE(group.blink_source(), second);
  group.stop_blink();
  EXPECT_EQ(group.blink_source(), 0u);
  EXPECT_FALSE(g_main_context_find_source_by_id(nullptr, second));
}

TEST_F(WidgetsTest, ButtonCompanionFollowsTheButton) {
  gtk::ButtonUI none;
  EXPECT_EQ(thrown_text([&] { none.set_enabled(true); }), "ButtonUI.cpp(37)");

  gtk::ButtonUI button(group.widget(0));
  button.set_enabled(false);
  EXPECT_EQ(sensitive(), "-ss");
  EXPECT_EQ(shown(), "vvv");
  button.set_companion(group.widget(2));
  button.set_enabled(false);
  EXPECT_EQ(shown(), "vv-");
  button.set_enabled(true);
  EXPECT_EQ(sensitive(), "sss");
  EXPECT_EQ(shown(), "vvv");
}

TEST_F(WidgetsTest, HandCursorOverAButtonOnly) {
  GtkWidget* box = gtk_event_box_new();
  GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_container_add(GTK_CONTAINER(other), box);
  gtk_widget_show_all(other);
  gtk::set_hand_cursor(box);
  const auto cross = [&](GdkEventType type) {
    GdkEvent* event = gdk_event_new(type);
    event->crossing.window = GDK_WINDOW(g_object_ref(box->window));
    event->crossing.send_event = TRUE;
    gboolean handled = FALSE;
    g_signal_emit_by_name(box,
                          type == GDK_ENTER_NOTIFY ? "enter-notify-event" : "leave-notify-event",
                          event, &handled);
    gdk_event_free(event);
    return handled;
  };
  EXPECT_TRUE(cross(GDK_ENTER_NOTIFY));
  GdkCursor* cursor = gdk_window_get_cursor(box->window);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_HAND2);
  EXPECT_TRUE(cross(GDK_LEAVE_NOTIFY));
  EXPECT_EQ(gdk_window_get_cursor(box->window), nullptr);
  gtk_widget_destroy(other);
}
