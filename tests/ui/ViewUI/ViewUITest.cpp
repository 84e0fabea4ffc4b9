// The sector view panel against a fake model that answers when the test says so: one read in
// flight with only the newest wish waiting, the slider, spin button and keys over the range,
// the range choices, the formats, and what the panel hands to its owner.
#include "ViewUI/ViewUI.h"

#include "FakeViewModel.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "MainLoop.h"
#include "PartitionSample.h"
#include "Screenshot.h"

#include <gdk/gdkkeysyms.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr std::uint64_t none = ViewUI::none;

// 1000 sectors, with a partition over 100..599 and one of a single sector at 800.
Drive sample_drive() {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive1");
  drive.set_sectors(1000);
  drive.set_sector_size(512);
  drive.set_model("WDC WD5000AAKX");
  drive.set_serial("WMAYU1234567");
  drive.set_partitions(
      {partition("256.0KB (Drive E:)", 100, 500), partition("512 (tiny)", 800, 1)});
  return drive;
}

class ViewUITest : public GuiTest, public ViewUI::Callback {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    open();
  }
  void TearDown() override {
    panel.reset();
    if (window != nullptr)
      gtk_widget_destroy(window);
  }

  void open(std::uint64_t lba = 0, std::uint64_t sectors = 1000) {
    panel = std::make_unique<ViewUI>(factory, sample_drive(), lba, sectors);
    panel->set_callback(this);
    window = show_in_window(panel->widget(), "TopUI");
    panel->select();
    flush_events();
  }

  void blink(ViewUI& asking) override { blinks.push_back(&asking); }

  FakeViewModel& model() { return *factory.last; }
  GtkWidget* find(const char* id) { return widget_by_id(panel->widget(), id); }
  GtkRange* scale() { return GTK_RANGE(find("lbaScale")); }
  GtkSpinButton* spin(const char* id) { return GTK_SPIN_BUTTON(find(id)); }
  GtkComboBox* combo(const char* id) { return GTK_COMBO_BOX(find(id)); }
  GtkTextBuffer* buffer() { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(find("textview"))); }

  std::string text() {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer(), &start, &end);
    gchar* chars = gtk_text_buffer_get_text(buffer(), &start, &end, FALSE);
    std::string result = chars;
    g_free(chars);
    return result;
  }
  int cursor_line() {
    GtkTextIter cursor;
    gtk_text_buffer_get_iter_at_mark(buffer(), &cursor, gtk_text_buffer_get_insert(buffer()));
    return gtk_text_iter_get_line(&cursor);
  }
  void place_cursor_on_last_line() {
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer(), &end);
    gtk_text_buffer_place_cursor(buffer(), &end);
  }
  double scale_value() { return gtk_range_get_value(scale()); }
  double spin_value(const char* id) { return gtk_spin_button_get_value(spin(id)); }

  // What the operator does: presses a key in the text.
  void press(guint keyval) { press_key(find("textview"), keyval); }

  // The sector the panel shows: the shown LBA, the LBA control and the text agree.
  void expect_showing(std::uint64_t lba) {
    EXPECT_EQ(panel->shown_lba(), lba);
    EXPECT_EQ(scale_value(), static_cast<double>(lba));
    EXPECT_EQ(spin_value("lba"), static_cast<double>(lba));
    EXPECT_EQ(text().rfind("*** LBA: " + std::to_string(lba) + " ***\n", 0), 0u) << text();
  }

  FakeViewModelFactory factory;
  std::unique_ptr<ViewUI> panel;
  GtkWidget* window = nullptr;
  std::vector<ViewUI*> blinks;
};

} // namespace

TEST_F(ViewUITest, ShowsTheDriveAndReadsTheFirstSector) {
  EXPECT_EQ(panel->kind(), "view");
  EXPECT_EQ(factory.drive.id(), "\\\\.\\PhysicalDrive1");
  EXPECT_EQ(std::string(gtk_widget_get_name(panel->widget())), "ViewUI");
  EXPECT_EQ(std::string(gtk_widget_get_name(find("toggle"))), "toggle");
  EXPECT_EQ(std::string(gtk_widget_get_name(find("blink"))), "blink");
  ASSERT_EQ(model().reads(), std::vector<std::uint64_t>{0});
  EXPECT_EQ(panel->pending_lba(), 0u);
  EXPECT_EQ(panel->shown_lba(), none);

  std::vector<std::string> areas;
  GtkTreeModel* items = gtk_combo_box_get_model(combo("viewArea"));
  GtkTreeIter item;
  for (gboolean more = gtk_tree_model_get_iter_first(items, &item); more;
       more = gtk_tree_model_iter_next(items, &item)) {
    gchar* name = nullptr;
    gtk_tree_model_get(items, &item, 0, &name, -1);
    areas.emplace_back(name);
    g_free(name);
  }
  EXPECT_EQ(areas, (std::vector<std::string>{"Whole drive", "256.0KB (Drive E:)", "512 (tiny)",
                                             "Custom area"}));
  EXPECT_EQ(gtk_combo_box_get_active(combo("viewArea")), 0);
  EXPECT_EQ(gtk_combo_box_get_active(combo("format")), 0);
  // No label stands before the format's list: it is named for assistive tools.
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(find("format"))), "Sector format");
  EXPECT_TRUE(gtk_widget_is_focus(find("textview")));

  ASSERT_TRUE(model().answer());
  expect_showing(0);
  EXPECT_EQ(cursor_line(), 0);
  EXPECT_EQ(panel->pending_lba(), none);
  // The model's text stands as it came: no line end is added.
  EXPECT_EQ(text(), FakeViewModel::sector_text(0, ViewModel::FormatHexDump));

  gtk_button_clicked(GTK_BUTTON(find("blink")));
  EXPECT_EQ(blinks, std::vector<ViewUI*>{panel.get()});

  panel.reset();
  EXPECT_TRUE(factory.lastGone);
}

// One read in flight, and beside it only the newest wish, which is read when the answer comes:
// the operator always ends on the last sector asked for.
TEST_F(ViewUITest, ReadsOneSectorAtATimeAndEndsOnTheLastWish) {
  struct Step {
    enum { Move, Force, Answer } kind;
    std::uint64_t lba = 0; // the sector moved to or forced
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::uint64_t> reads; // after the first read of sector 0, answered
    std::uint64_t shown;
  } cases[] = {
      {"a quick move reads the first sector, then only the last one",
       {{Step::Move, 1},
        {Step::Move, 2},
        {Step::Move, 3},
        {Step::Move, 4},
        {Step::Answer},
        {Step::Answer}},
       {1, 4},
       4},
      {"a wish for the sector in flight drops the one waiting",
       {{Step::Move, 5}, {Step::Move, 9}, {Step::Move, 5}, {Step::Answer}},
       {5},
       5},
      {"a wish for the sector shown while another is in flight reads it again",
       {{Step::Move, 5}, {Step::Move, 0}, {Step::Answer}, {Step::Answer}},
       {5, 0},
       0},
      {"the sector shown is not read again", {{Step::Move, 0}}, {}, 0},
      {"unless forced", {{Step::Force, 0}, {Step::Answer}}, {0}, 0},
      {"a forced sector in flight is read once more",
       {{Step::Move, 7}, {Step::Force, 7}, {Step::Answer}, {Step::Answer}},
       {7, 7},
       7},
      {"no sector is no wish", {{Step::Force, none}}, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    open();
    ASSERT_TRUE(model().answer());
    for (const Step& step : c.steps) {
      if (step.kind == Step::Answer) {
        ASSERT_TRUE(model().answer());
        flush_events();
      } else if (step.kind == Step::Move) {
        gtk_range_set_value(scale(), static_cast<double>(step.lba));
      } else {
        panel->request(step.lba, ViewUI::Read::Again);
      }
    }
    const std::vector<std::uint64_t> reads(model().reads().begin() + 1, model().reads().end());
    EXPECT_EQ(reads, c.reads);
    EXPECT_EQ(model().unanswered(), 0u);
    expect_showing(c.shown);
    gtk_widget_destroy(std::exchange(window, nullptr));
  }
}

// While a queued read follows, the control keeps the operator's position instead of jumping back
// to the sector that was answered meanwhile.
TEST_F(ViewUITest, TheSliderStaysWhereTheOperatorLeftIt) {
  ASSERT_TRUE(model().answer());
  gtk_range_set_value(scale(), 10);
  gtk_spin_button_set_value(spin("lba"), 20);
  EXPECT_EQ(scale_value(), 20);
  ASSERT_TRUE(model().answer()); // sector 10 shows, 20 is read
  EXPECT_EQ(panel->shown_lba(), 10u);
  EXPECT_EQ(scale_value(), 20);
  EXPECT_EQ(spin_value("lba"), 20);
  ASSERT_TRUE(model().answer());
  expect_showing(20);
  EXPECT_EQ(model().reads(), (std::vector<std::uint64_t>{0, 10, 20}));
}

TEST_F(ViewUITest, ASecondOfDraggingReadsOnlyAsFastAsTheModelAnswers) {
  panel.reset();
  gtk_widget_destroy(std::exchange(window, nullptr));
  factory.latencyMs = 50;
  open();
  ASSERT_TRUE(run_loop([&] { return panel->shown_lba() == 0; }));
  int moves = 0;
  const gint64 begin = g_get_monotonic_time();
  // The slider moves on by one sector about every millisecond, for a second.
  ASSERT_TRUE(run_loop([&] {
    const gint64 elapsed = g_get_monotonic_time() - begin;
    if (elapsed >= G_USEC_PER_SEC)
      return true;
    gtk_range_set_value(scale(), static_cast<double>(1 + elapsed / 1000));
    ++moves;
    return false;
  }));
  const auto last = static_cast<std::uint64_t>(scale_value());
  ASSERT_TRUE(run_loop([&] { return panel->shown_lba() == last && model().unanswered() == 0; }));
  const std::size_t reads = model().reads().size();
  std::cout << moves << " slider moves in 1 s gave " << reads << " reads\n";
  // One read per 50 ms at most, whatever the number of moves (a slow machine makes fewer).
  EXPECT_LE(reads, 25u);
  EXPECT_LT(reads, static_cast<std::size_t>(moves));
  EXPECT_EQ(model().reads().back(), last);
  expect_showing(last);
}

TEST_F(ViewUITest, KeysGoToTheNeighbourSectorsWithinTheRange) {
  ASSERT_TRUE(model().answer());
  // Up on the first line of the first sector: nothing to go to.
  press(GDK_Up);
  press(GDK_Page_Up);
  EXPECT_EQ(model().reads().size(), 1u);

  // Down inside the text moves the cursor; on the last line it goes to the next sector.
  press(GDK_Down);
  EXPECT_EQ(cursor_line(), 1);
  EXPECT_EQ(model().reads().size(), 1u);
  place_cursor_on_last_line();
  press(GDK_Down);
  ASSERT_EQ(model().reads().back(), 1u);
  ASSERT_TRUE(model().answer());
  expect_showing(1);
  EXPECT_EQ(cursor_line(), 0);

  // Page Down only once the text is scrolled to its end, Page Up only at its top.
  GtkAdjustment* scroll =
      gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(find("scrolledwindow")));
  ASSERT_GT(gtk_adjustment_get_upper(scroll), gtk_adjustment_get_page_size(scroll));
  press(GDK_Page_Down);
  EXPECT_EQ(model().reads().size(), 2u);
  gtk_adjustment_set_value(scroll,
                           gtk_adjustment_get_upper(scroll) - gtk_adjustment_get_page_size(scroll));
  press(GDK_Page_Down);
  ASSERT_EQ(model().reads().back(), 2u);
  ASSERT_TRUE(model().answer());
  flush_events();
  EXPECT_EQ(gtk_adjustment_get_value(scroll), gtk_adjustment_get_lower(scroll));
  press(GDK_Page_Up);
  ASSERT_EQ(model().reads().back(), 1u);
  ASSERT_TRUE(model().answer());
  press(GDK_Up);
  ASSERT_EQ(model().reads().back(), 0u);
  ASSERT_TRUE(model().answer());
  expect_showing(0);

  // On the range's last sector Down stays in the text.
  gtk_spin_button_set_value(spin("lba"), 999);
  ASSERT_TRUE(model().answer());
  expect_showing(999);
  const std::size_t reads = model().reads().size();
  place_cursor_on_last_line();
  press(GDK_Down);
  press(GDK_Page_Down);
  EXPECT_EQ(model().reads().size(), reads);
}

TEST_F(ViewUITest, KeysStayInsideAPartition) {
  ASSERT_TRUE(model().answer());
  gtk_combo_box_set_active(combo("viewArea"), 1);
  ASSERT_EQ(model().reads().back(), 100u);
  ASSERT_TRUE(model().answer());
  expect_showing(100);
  press(GDK_Up);
  EXPECT_EQ(model().reads().size(), 2u);
  gtk_range_set_value(scale(), 599);
  ASSERT_TRUE(model().answer());
  place_cursor_on_last_line();
  press(GDK_Down);
  EXPECT_EQ(model().reads().size(), 3u);
  expect_showing(599);
}

TEST_F(ViewUITest, TheRangeLimitsTheSliderAndFollowsTheChosenItem) {
  ASSERT_TRUE(model().answer());
  auto bounds = [&](GtkRange* range) {
    GtkAdjustment* adjustment = gtk_range_get_adjustment(range);
    return std::make_pair(gtk_adjustment_get_lower(adjustment),
                          gtk_adjustment_get_upper(adjustment));
  };
  auto spin_bounds = [&](const char* id) {
    double low = 0, high = 0;
    gtk_spin_button_get_range(spin(id), &low, &high);
    return std::make_pair(low, high);
  };
  EXPECT_EQ(bounds(scale()), std::make_pair(0.0, 999.0));

  // A partition: the slider's bounds move to it and its first sector is shown.
  gtk_combo_box_set_active(combo("viewArea"), 1);
  EXPECT_EQ(bounds(scale()), std::make_pair(100.0, 599.0));
  EXPECT_EQ(spin_bounds("lba"), std::make_pair(100.0, 599.0));
  EXPECT_EQ(spin_value("viewStart"), 100);
  EXPECT_EQ(spin_value("viewSectors"), 500);
  ASSERT_TRUE(model().answer());
  expect_showing(100);

  // A single sector: the slider cannot move and gets two bounds all the same.
  gtk_combo_box_set_active(combo("viewArea"), 2);
  EXPECT_EQ(bounds(scale()), std::make_pair(800.0, 801.0));
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(scale())));
  EXPECT_EQ(spin_bounds("lba"), std::make_pair(800.0, 800.0));
  ASSERT_TRUE(model().answer());
  expect_showing(800);

  // "Custom area" changes nothing until the range is edited.
  const std::size_t reads = model().reads().size();
  gtk_combo_box_set_active(combo("viewArea"), 3);
  EXPECT_EQ(model().reads().size(), reads);
  EXPECT_EQ(bounds(scale()), std::make_pair(800.0, 801.0));

  // Typing a partition's range selects its item; any other range is "Custom area".
  gtk_spin_button_set_value(spin("viewStart"), 100);
  EXPECT_EQ(gtk_combo_box_get_active(combo("viewArea")), 3);
  gtk_spin_button_set_value(spin("viewSectors"), 500);
  EXPECT_EQ(gtk_combo_box_get_active(combo("viewArea")), 1);
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(scale())));
  EXPECT_EQ(bounds(scale()), std::make_pair(100.0, 599.0));
  ASSERT_TRUE(model().answer());
  expect_showing(100);
  gtk_spin_button_set_value(spin("viewFinish"), 599 - 1);
  EXPECT_EQ(gtk_combo_box_get_active(combo("viewArea")), 3);
  gtk_combo_box_set_active(combo("viewArea"), 0);
  EXPECT_EQ(bounds(scale()), std::make_pair(0.0, 999.0));
  ASSERT_TRUE(model().answer());
  expect_showing(0);
}

TEST_F(ViewUITest, AFormatChangeReadsTheShownSectorAgain) {
  ASSERT_TRUE(model().answer());
  gtk_range_set_value(scale(), 3);
  ASSERT_TRUE(model().answer());
  const int formats[] = {ViewModel::FormatFat32, ViewModel::FormatFat16, ViewModel::FormatNtfs,
                         ViewModel::FormatHexDump};
  for (const int format : formats) {
    SCOPED_TRACE(format);
    const std::size_t reads = model().reads().size();
    gtk_combo_box_set_active(combo("format"), format);
    EXPECT_EQ(model().format(), format);
    ASSERT_EQ(model().reads().size(), reads + 1);
    EXPECT_EQ(model().reads().back(), 3u);
    ASSERT_TRUE(model().answer());
    EXPECT_EQ(text(), FakeViewModel::sector_text(3, format));
  }
}

// Before anything is shown a format change has no sector to read again; the read in flight
// comes back in the new format anyway.
TEST_F(ViewUITest, AFormatChangeBeforeTheFirstAnswer) {
  gtk_combo_box_set_active(combo("format"), ViewModel::FormatFat32);
  EXPECT_EQ(model().reads(), std::vector<std::uint64_t>{0});
  ASSERT_TRUE(model().answer());
  EXPECT_EQ(model().unanswered(), 0u);
  EXPECT_EQ(text(), FakeViewModel::sector_text(0, ViewModel::FormatFat32));
}

TEST_F(ViewUITest, AWipedAreaReadsTheShownSectorAgainWhenItHoldsIt) {
  ASSERT_TRUE(model().answer());
  gtk_range_set_value(scale(), 500);
  ASSERT_TRUE(model().answer());
  const struct {
    std::uint64_t lba, sectors;
    bool again;
  } cases[] = {{0, 500, false}, {501, 10, false},        {500, 1, true},        {0, 501, true},
               {400, 0, false}, {499, UINT64_MAX, true}, {UINT64_MAX, 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lba << " + " << c.sectors);
    const std::size_t reads = model().reads().size();
    panel->area_wiped(c.lba, c.sectors);
    EXPECT_EQ(model().reads().size(), reads + (c.again ? 1 : 0));
    if (c.again) {
      EXPECT_EQ(model().reads().back(), 500u);
      ASSERT_TRUE(model().answer());
    }
  }
}

TEST_F(ViewUITest, AFailedReadIsShownAndTheQueuedWishFollows) {
  gtk_range_set_value(scale(), 42);
  ASSERT_TRUE(model().fail());
  EXPECT_EQ(text(), "*** ERROR: Read failed (LBA: 0, sectors: 1) ***");
  EXPECT_EQ(model().reads().back(), 42u);
  ASSERT_TRUE(model().answer());
  expect_showing(42);
}

// The range part of every view panel is shown or hidden together: the choice is the panels',
// taken by each when it is next selected.
TEST_F(ViewUITest, TheRangePartFollowsTheToggleInEveryPanel) {
  FakeViewModelFactory otherFactory;
  ViewUI other(otherFactory, sample_drive(), 0, 1000);
  GtkWidget* otherWindow = show_in_window(other.widget(), "TopUI");
  other.select();
  GtkWidget* bottom = find("bottom");
  GtkWidget* otherBottom = widget_by_id(other.widget(), "bottom");
  EXPECT_TRUE(gtk_widget_get_visible(bottom));

  gtk_button_clicked(GTK_BUTTON(find("toggle")));
  EXPECT_FALSE(gtk_widget_get_visible(bottom));
  EXPECT_TRUE(gtk_widget_get_visible(otherBottom));
  other.select();
  EXPECT_FALSE(gtk_widget_get_visible(otherBottom));
  EXPECT_FALSE(
      gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget_by_id(other.widget(), "toggle"))));

  panel->deselect();
  EXPECT_FALSE(gtk_widget_get_visible(find("top")));
  EXPECT_FALSE(gtk_widget_get_visible(bottom));
  gtk_button_clicked(GTK_BUTTON(find("toggle")));
  panel->select();
  EXPECT_TRUE(gtk_widget_get_visible(find("top")));
  EXPECT_TRUE(gtk_widget_get_visible(bottom));
  gtk_widget_destroy(otherWindow);
}
