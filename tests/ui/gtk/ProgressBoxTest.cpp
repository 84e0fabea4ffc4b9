#include "gtk/ProgressBox.h"

#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "Screenshot.h"

#include <algorithm>

namespace {

using gtk::ProgressBox;
using gtk::ProgressMode;

std::string bar_text(const ProgressBox& box) {
  const char* text =
      gtk_progress_bar_get_text(GTK_PROGRESS_BAR(widget_by_id(box.widget(), "progress")));
  return text != nullptr ? text : "";
}

double bar_fraction(const ProgressBox& box) {
  return gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget_by_id(box.widget(), "progress")));
}

std::string row(const ProgressBox& box, const char* id) {
  GtkWidget* label = find_widget(box.widget(), id);
  return label != nullptr ? gtk_label_get_text(GTK_LABEL(label)) : "(none)";
}

bool throws_interrupted(ProgressBox& box) {
  try {
    box.check();
  } catch (const InterruptedException&) {
    return true;
  }
  return false;
}

using ProgressBoxTest = GuiTest;

} // namespace

TEST_F(ProgressBoxTest, RefreshShowsTheFiguresReported) {
  constexpr std::int64_t to = InterfaceCallback::progress_to;
  constexpr std::int64_t by = InterfaceCallback::progress_by;
  const struct {
    std::uint64_t total, start;
    std::vector<std::pair<std::int64_t, std::uint64_t>> reports;
    const char* bar;
    double fraction;
    const char* progress;
  } cases[] = {
      {1000, 0, {{to, 425}}, "42%", 0.425, "0.425 of 1.000KB"},
      {100, 0, {{to, 29}}, "29%", 0.29, "29 of 100"}, // not the 28 of 0.29 * 100
      {1000, 100, {{to, 525}}, "42%", 0.425, "0.425 of 1.000KB"},
      {1000, 0, {{by, 200}, {by, 200}, {7, 999}}, "40%", 0.4, "0.400 of 1.000KB"},
      {1000, 0, {{to, 5000}}, "100%", 1.0, "5.000 of 1.000KB"}, // done beyond total
      {0, 0, {{to, 500}}, "0%", 0.0, "500 of 0"},               // no total
      {1000, 600, {{to, 500}}, "0%", 0.0, "0.000 of 1.000KB"},  // below the start
      {5000000000ULL, 0, {{to, 2500000000ULL}}, "50%", 0.5, "2.500 of 5.000GB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.total << " from " << c.start << ": " << c.bar);
    ProgressBox box(nullptr, ProgressMode::Amount, c.total, c.start, 400);
    for (const auto& [how, amount] : c.reports)
      box.set_progress(how, amount);
    box.refresh();
    EXPECT_EQ(bar_text(box), c.bar);
    EXPECT_DOUBLE_EQ(bar_fraction(box), c.fraction);
    EXPECT_EQ(row(box, "progress-row"), c.progress);
    if (c.fraction == 0)
      EXPECT_EQ(row(box, "time-row"), "");
    else
      EXPECT_NE(row(box, "time-row"), "");
  }
}

TEST_F(ProgressBoxTest, EachModeHasItsRows) {
  const struct {
    ProgressMode mode;
    bool amount; // the progress and time rows
    bool first, second;
  } cases[] = {
      {ProgressMode::Pulse, false, true, false},
      {ProgressMode::Amount, true, false, false},
      {ProgressMode::Transfer, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    ProgressBox box(nullptr, c.mode, 100, 0, 400);
    EXPECT_EQ(find_widget(box.widget(), "progress-row") != nullptr, c.amount);
    EXPECT_EQ(find_widget(box.widget(), "time-row") != nullptr, c.amount);
    EXPECT_EQ(find_widget(box.widget(), "first-row") != nullptr, c.first);
    EXPECT_EQ(find_widget(box.widget(), "second-row") != nullptr, c.second);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box.widget())), "Please Wait");
  }
}

TEST_F(ProgressBoxTest, CaptionsShareOneWidth) {
  ProgressBox box(nullptr, ProgressMode::Transfer, 100, 0, 600);
  flush_events();
  std::vector<int> widths;
  for (GtkWidget* widget : all_widgets(box.widget())) {
    if (!GTK_IS_LABEL(widget) || gtk_widget_get_ancestor(widget, GTK_TYPE_FRAME) != nullptr ||
        gtk_widget_get_ancestor(widget, GTK_TYPE_BUTTON) != nullptr)
      continue;
    const std::string caption = gtk_label_get_text(GTK_LABEL(widget));
    if (caption == "Progress" || caption == "File" || caption == "Write to")
      widths.push_back(widget->allocation.width);
  }
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_EQ(widths[0], widths[1]);
  EXPECT_EQ(widths[1], widths[2]);
}

TEST_F(ProgressBoxTest, TextsReachTheirPlaces) {
  ProgressBox box(nullptr, ProgressMode::Transfer, 100, 0, 600);
  box.set_text(InterfaceCallback::first_text, "first");
  box.set_text(InterfaceCallback::first_text, "http://h/file.bin");
  box.set_text(InterfaceCallback::second_text, "/tmp/file.bin");
  box.set_text(InterfaceCallback::title_text, "Downloading");
  box.set_text(3, "nowhere");
  // The title at once, the rows at the next refresh, only the last text of each.
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box.widget())), "Downloading");
  EXPECT_EQ(row(box, "first-row"), "");
  box.refresh();
  EXPECT_EQ(row(box, "first-row"), "http://h/file.bin");
  EXPECT_EQ(row(box, "second-row"), "/tmp/file.bin");

  ProgressBox pulsing(nullptr, ProgressMode::Pulse, 0, 0, 320);
  pulsing.set_text(InterfaceCallback::first_text, "Looking for updates");
  pulsing.set_text(InterfaceCallback::second_text, "no such row");
  pulsing.refresh();
  EXPECT_EQ(row(pulsing, "first-row"), "Looking for updates");
}

TEST_F(ProgressBoxTest, ATextInTheBarHoldsForAMinuteOfRefreshes) {
  ProgressBox box(nullptr, ProgressMode::Amount, 100, 0, 400);
  box.set_progress(InterfaceCallback::progress_to, 30);
  box.set_text(InterfaceCallback::first_text, "Reading the feed");
  EXPECT_EQ(bar_text(box), "Reading the feed");
  for (int i = 0; i < 600; ++i)
    box.refresh();
  EXPECT_EQ(bar_text(box), "Reading the feed");
  EXPECT_DOUBLE_EQ(bar_fraction(box), 0.3);
  box.refresh();
  EXPECT_EQ(bar_text(box), "30%");
}

TEST_F(ProgressBoxTest, TheTimerRefreshesWhileTheOperationChecks) {
  ProgressBox box(nullptr, ProgressMode::Amount, 200, 0, 400);
  box.set_progress(InterfaceCallback::progress_to, 50);
  const gint64 end = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
  while (bar_text(box) != "25%" && g_get_monotonic_time() < end) {
    box.check();
    g_usleep(5000);
  }
  EXPECT_EQ(bar_text(box), "25%");
}

TEST_F(ProgressBoxTest, CancelAndClosingMakeEveryLaterCheckThrow) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "closed" : "Cancel");
    ProgressBox box(nullptr, ProgressMode::Pulse, 0, 0, 320);
    EXPECT_FALSE(throws_interrupted(box));
    GtkWidget* dialog = box.widget();
    if (close) {
      GdkEvent* event = gdk_event_new(GDK_DELETE);
      event->any.window = GDK_WINDOW(g_object_ref(dialog->window));
      event->any.send_event = TRUE;
      gtk_main_do_event(event);
      gdk_event_free(event);
    } else {
      gtk_button_clicked(GTK_BUTTON(widget_by_id(dialog, "cancel")));
    }
    EXPECT_TRUE(throws_interrupted(box));
    EXPECT_TRUE(throws_interrupted(box));
    // Closing does not take the box away from the operation.
    EXPECT_TRUE(GTK_IS_DIALOG(box.widget()));
    EXPECT_TRUE(gtk_widget_get_visible(box.widget()));
  }
}

TEST_F(ProgressBoxTest, Screenshots) {
  {
    ProgressBox box(nullptr, ProgressMode::Pulse, 0, 0, 320);
    box.set_text(InterfaceCallback::first_text, "Looking for updates");
    for (int i = 0; i < 5; ++i)
      box.refresh();
    save_screenshot(box.widget(), "ProgressBox-pulse");
  }
  {
    ProgressBox box(nullptr, ProgressMode::Amount, 4000000, 0, 400);
    box.set_progress(InterfaceCallback::progress_to, 1700000);
    box.refresh();
    save_screenshot(box.widget(), "ProgressBox-amount");
  }
  {
    ProgressBox box(nullptr, ProgressMode::Transfer, 24500000, 0, 600);
    box.set_text(InterfaceCallback::first_text,
                 "http://updates.example.com/wipedesk/releases/2014/wipedesk-v140101-setup.bin");
    box.set_text(InterfaceCallback::second_text,
                 "/tmp/wipedesk-update-Q3ZK1X/wipedesk-v140101-setup.bin");
    box.set_progress(InterfaceCallback::progress_to, 9800000);
    box.refresh();
    save_screenshot(box.widget(), "ProgressBox-transfer");
  }
}
