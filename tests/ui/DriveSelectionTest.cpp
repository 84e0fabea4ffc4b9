#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "MultiSelectUI/MultiSelectUI.h"
#include "MultiWipeUI/MultiWipeUI.h"

#include "DialogResponder.h"
#include "FindWidget.h"
#include "Format.h"
#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "LogCapture.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "Settings.h"
#include "Thrown.h"

#include <gdk/gdkkeysyms.h>

#include <string>
#include <vector>

namespace {

Drive drive(const char* model, const char* serial, std::uint64_t sectors,
            const char* warning = "") {
  Drive d;
  d.set_id("\\\\.\\PhysicalDrive1");
  d.set_model(model);
  d.set_serial(serial);
  d.set_sectors(sectors);
  d.set_sector_size(512);
  d.set_warning(warning);
  return d;
}

const std::vector<Drive> three = {
    drive("ST2000DM008", "ZFL1", 3907029168ULL, "System Drive"),
    drive("A&B <1>", "</span><b>x", 1000),
    drive("WDC WD10EZEX", "WD-1", 1953525168ULL),
};

class Observer : public MultiSelectUI::Callback {
public:
  void selection_changed(MultiSelectUI& list) override {
    std::string ticks;
    for (std::size_t i = 0; i < list.drives().size(); ++i)
      ticks += list.is_selected(i) ? 'x' : '.';
    heard.push_back(ticks);
  }
  std::vector<std::string> heard;
};

class DriveSelectionTest : public GuiTest {
protected:
  void TearDown() override {
    if (window != nullptr)
      gtk_widget_destroy(window);
  }
  GtkWidget* window = nullptr;
  LogCapture debug;
};

struct Sensitivity {
  bool selectAll;
  bool unselectAll;
  bool operator==(const Sensitivity&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sensitivity& s) {
  return out << "selectAll " << s.selectAll << ", unselectAll " << s.unselectAll;
}
Sensitivity sensitivity_of(GtkWidget* list) {
  return {gtk_widget_get_sensitive(widget_by_id(list, "selectAll")) != FALSE,
          gtk_widget_get_sensitive(widget_by_id(list, "unselectAll")) != FALSE};
}

GtkTreeModel* store_of(GtkWidget* list) {
  return gtk_tree_view_get_model(GTK_TREE_VIEW(widget_by_id(list, "treeview")));
}

// Column 0 of every row, as the list shows the ticks.
std::string shown_ticks(GtkWidget* list) {
  std::string ticks;
  GtkTreeModel* store = store_of(list);
  GtkTreeIter row;
  for (bool more = gtk_tree_model_get_iter_first(store, &row); more;
       more = gtk_tree_model_iter_next(store, &row)) {
    gboolean ticked = FALSE;
    gtk_tree_model_get(store, &row, 0, &ticked, -1);
    ticks += ticked ? 'x' : '.';
  }
  return ticks;
}

void toggle_row(GtkWidget* list, const char* path) {
  GObject* renderer =
      G_OBJECT(gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(gtk_tree_view_get_column(
                                             GTK_TREE_VIEW(widget_by_id(list, "treeview")), 0)))
                   ->data);
  g_signal_emit_by_name(renderer, "toggled", path);
}

} // namespace

// A disk that tells no model and no serial (a loop device) is named by the system's name and
// what stands in for them, as its task's header names it, not as an empty " / ".
TEST_F(DriveSelectionTest, ADiskWithoutModelOrSerialIsNamedAsItsHeaderNamesIt) {
  Drive loop = drive("", "", 131072);
  loop.set_system_name("/dev/loop7");
  loop.set_model_stand_in({Drive::StandIn::Kind::BackingFile, "/srv/stick.img"});
  const std::vector<Drive> drives = {loop};
  MultiSelectUI list(drives);
  GtkTreeModel* store = store_of(list.build());
  GtkTreeIter row;
  ASSERT_TRUE(gtk_tree_model_get_iter_first(store, &row));
  gchar* name = nullptr;
  gtk_tree_model_get(store, &row, 1, &name, -1);
  EXPECT_STREQ(name, "/dev/loop7  /srv/stick.img (backing file)");
  g_free(name);
}

TEST_F(DriveSelectionTest, RowsDescribeTheDrivesAsTheyAre) {
  MultiSelectUI list(three);
  GtkWidget* widget = list.build();
  GtkTreeModel* store = store_of(widget);
  ASSERT_EQ(gtk_tree_model_iter_n_children(store, nullptr), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    GtkTreeIter row;
    ASSERT_TRUE(gtk_tree_model_iter_nth_child(store, &row, nullptr, i));
    gboolean ticked = TRUE;
    gchar* name = nullptr;
    gchar* size = nullptr;
    gint index = -1;
    guint64 bytes = 0;
    gchar* markup = nullptr;
    gtk_tree_model_get(store, &row, 0, &ticked, 1, &name, 2, &size, 3, &index, 4, &bytes, 5,
                       &markup, -1);
    const Drive& d = three[i];
    EXPECT_FALSE(ticked);
    EXPECT_EQ(std::string(name), d.model() + " / " + d.serial());
    EXPECT_EQ(std::string(size), format_size(d.sectors() * 512));
    EXPECT_EQ(index, i);
    EXPECT_EQ(bytes, d.sectors() * 512);
    // The tooltip's markup parses and gives back the drive's texts unchanged.
    gchar* plain = nullptr;
    ASSERT_TRUE(pango_parse_markup(markup, -1, 0, nullptr, &plain, nullptr, nullptr)) << markup;
    EXPECT_NE(std::string(plain).find(d.model()), std::string::npos) << plain;
    EXPECT_NE(std::string(plain).find(d.serial()), std::string::npos) << plain;
    g_free(plain);
    g_free(name);
    g_free(size);
    g_free(markup);
  }
  window = show_in_window(widget, "HiddenDrivesUI");
  flush_events(); // the tooltip column is drawn without a markup warning
}

TEST_F(DriveSelectionTest, TicksButtonsAndTheObserverStayInStep) {
  MultiSelectUI list(three);
  EXPECT_EQ(thrown_text([&] { list.set_selected(1, true); }), "MultiSelectUI.cpp(101)")
      << "no rows before the list is built";
  EXPECT_TRUE(list.is_selected(1)) << "the tick is kept";

  Observer observer;
  GtkWidget* widget = list.build();
  list.set_selected(1, false);
  list.set_callback(&observer);
  EXPECT_EQ(sensitivity_of(widget), (Sensitivity{true, false}));

  list.set_selected(0, true);
  EXPECT_EQ(shown_ticks(widget), "x..");
  EXPECT_EQ(sensitivity_of(widget), (Sensitivity{true, true}));

  toggle_row(widget, "2");
  EXPECT_EQ(shown_ticks(widget), "x.x");
  toggle_row(widget, "0");
  EXPECT_EQ(shown_ticks(widget), "..x");

  observer.heard.clear();
  gtk_button_clicked(GTK_BUTTON(widget_by_id(widget, "selectAll")));
  EXPECT_EQ(shown_ticks(widget), "xxx");
  EXPECT_EQ(sensitivity_of(widget), (Sensitivity{false, true}));
  EXPECT_EQ(observer.heard, (std::vector<std::string>{"x.x", "xxx", "xxx"}))
      << "each changed row, then once more";

  observer.heard.clear();
  gtk_button_clicked(GTK_BUTTON(widget_by_id(widget, "unselectAll")));
  EXPECT_EQ(shown_ticks(widget), "...");
  EXPECT_EQ(sensitivity_of(widget), (Sensitivity{true, false}));
  EXPECT_EQ(observer.heard.size(), 4u);

  // Index errors, from the caller and from rows the list does not have.
  EXPECT_EQ(thrown_text([&] { list.is_selected(3); }), "MultiSelectUI.cpp(88)");
  EXPECT_EQ(thrown_text([&] { list.set_selected(3, true); }), "MultiSelectUI.cpp(94)");
  {
    GLogCapture gtkComplains; // of the path that does not parse
    toggle_row(widget, "x");
  }
  toggle_row(widget, "7");
  EXPECT_EQ(debug.text(), "MultiSelectUI.cpp(162): MultiSelectUI.cpp(149)\n"
                          "MultiSelectUI.cpp(162): MultiSelectUI.cpp(150)\n");
  EXPECT_EQ(shown_ticks(widget), "...");
  list.set_callback(nullptr);
}

// Space ticks or unticks the row at the cursor, whichever of its columns the cursor is on: the
// tick, the drive or its size.
TEST_F(DriveSelectionTest, SpaceTicksTheRowAtTheCursorInEveryColumn) {
  MultiWipeUI wipe(three, nullptr);
  GtkWidget* dialog = GTK_WIDGET(wipe.window());
  gtk_widget_show(dialog);
  give_keyboard_to(dialog);
  GtkTreeView* list = GTK_TREE_VIEW(widget_by_id(dialog, "treeview"));
  gtk_widget_grab_focus(GTK_WIDGET(list));
  const struct {
    int column;
    const char* row;
    const char* ticked;
  } cases[] = {{0, "1", ".x."}, {1, "1", "..."}, {1, "2", "..x"}, {2, "0", "x.x"}, {2, "2", "x.."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << c.row << ", column " << c.column);
    GtkTreePath* path = gtk_tree_path_new_from_string(c.row);
    gtk_tree_view_set_cursor(list, path, gtk_tree_view_get_column(list, c.column), FALSE);
    gtk_tree_path_free(path);
    press_key(dialog, GDK_space);
    EXPECT_EQ(shown_ticks(dialog), c.ticked);
  }
}

TEST_F(DriveSelectionTest, AnEmptyListOffersNothing) {
  const std::vector<Drive> none;
  MultiSelectUI list(none);
  GtkWidget* widget = list.build();
  EXPECT_EQ(sensitivity_of(widget), (Sensitivity{false, false}));
  MultiWipeUI wipe(none, nullptr);
  EXPECT_FALSE(gtk_widget_get_sensitive(widget_by_id(GTK_WIDGET(wipe.window()), "buttonbox")));
}

TEST_F(DriveSelectionTest, HiddenDrivesAreTheTickedOnesWhenAccepted) {
  GtkWindow* parent = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  window = GTK_WIDGET(parent);
  HiddenDrivesUI hidden(three, parent);
  EXPECT_EQ(gtk_window_get_transient_for(hidden.window()), parent);
  hidden.set_selected(0, true);
  EXPECT_EQ(shown_ticks(GTK_WIDGET(hidden.window())), "x..");

  const struct {
    const char* answer;
    bool accepted;
  } cases[] = {{"gtk-ok", true}, {"gtk-cancel", false}, {"close", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    DialogResponder answers;
    if (std::string(c.answer) == "close")
      answers.close();
    else
      answers.then([&](GtkWindow*) { toggle_row(GTK_WIDGET(hidden.window()), "2"); })
          .click(c.answer);
    EXPECT_EQ(hidden.run(), c.accepted);
    EXPECT_EQ(answers.seen().at(0).title, "Hidden Drives");
  }
  EXPECT_TRUE(hidden.is_selected(0));
  EXPECT_FALSE(hidden.is_selected(2)) << "toggled twice";
}

TEST_F(DriveSelectionTest, MultiWipeAnswersTheChosenAction) {
  MultiWipeUI wipe(three, nullptr);
  GtkWidget* buttons = widget_by_id(GTK_WIDGET(wipe.window()), "buttonbox");
  EXPECT_FALSE(gtk_widget_get_sensitive(buttons));
  wipe.set_selected(2, true);
  EXPECT_TRUE(gtk_widget_get_sensitive(buttons));

  const struct {
    const char* button;
    MultiWipeUI::Action action;
  } cases[] = {{"stop", MultiWipeUI::Action::Stop},
               {"pause", MultiWipeUI::Action::Pause},
               {"resume", MultiWipeUI::Action::Resume},
               {"gtk-close", MultiWipeUI::Action::None},
               {"", MultiWipeUI::Action::None}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    DialogResponder answers;
    if (*c.button == '\0')
      answers.close();
    else
      answers.click(c.button);
    EXPECT_EQ(wipe.run(), c.action);
  }
}

TEST_F(DriveSelectionTest, StartAsksForTheTickedDrivesWithTheirWarnings) {
  program_config()["wipe"]["stop at drive warning"] = false;
  MultiWipeUI wipe(three, nullptr);
  wipe.set_selected(0, true);
  wipe.set_selected(1, true);
  // Each ticked drive by name: with a wrong tick the question shows the drive it would wipe.
  const std::string question = "This operation will wipe 2 drives.\n"
                               "ST2000DM008 / ZFL1 (2.000TB)\n"
                               "A&B <1> / </span><b>x (512.0KB)\n\n"
                               "ST2000DM008 / ZFL1 is a System Drive\n\n"
                               "Are you sure you want to continue?";
  DialogResponder answers;
  answers.click("start").click("gtk-no").click("start").click("gtk-yes");
  EXPECT_EQ(wipe.run(), MultiWipeUI::Action::Start);
  ASSERT_EQ(answers.seen().size(), 4u);
  EXPECT_EQ(answers.seen()[1].title, "Warning");
  EXPECT_EQ(answers.seen()[1].text, question);
  EXPECT_EQ(answers.seen()[2].title, "Wipe Several Drives") << "No leaves the dialog open";
  EXPECT_TRUE(wipe.is_selected(0) && wipe.is_selected(1) && !wipe.is_selected(2));

  // One drive, singular; and a refusal where warnings stop wipes.
  wipe.set_selected(1, false);
  program_config()["wipe"]["stop at drive warning"] = true;
  DialogResponder refused;
  refused.click("start").click("gtk-close").close();
  EXPECT_EQ(wipe.run(), MultiWipeUI::Action::None);
  EXPECT_EQ(refused.seen().at(1).title, "Error");
  EXPECT_EQ(refused.seen().at(1).text,
            "ST2000DM008 / ZFL1 is a System Drive\n\nWipe is not allowed.");
  wipe.set_selected(0, false);
  wipe.set_selected(2, true);
  DialogResponder single;
  single.click("start").click("gtk-yes");
  EXPECT_EQ(wipe.run(), MultiWipeUI::Action::Start);
  EXPECT_EQ(single.seen().at(1).text,
            "This operation will wipe 1 drive.\nWDC WD10EZEX / WD-1 (1.000TB)\n\n"
            "Are you sure you want to continue?");
}

TEST_F(DriveSelectionTest, MultiWipeEditsTheDefaultWipeOptions) {
  MultiWipeUI wipe(three, nullptr);
  const auto choose = [&](int method) {
    return [&wipe, method](GtkWindow* options) {
      EXPECT_STREQ(gtk_window_get_title(options), "Wipe Options");
      EXPECT_EQ(gtk_window_get_transient_for(options), wipe.window());
      gtk_combo_box_set_active(GTK_COMBO_BOX(widget_by_id(GTK_WIDGET(options), "operationMode")),
                               method);
    };
  };
  DialogResponder answers;
  answers.click("options")
      .then(choose(5))
      .click("gtk-cancel")
      .then([](GtkWindow* dialog) {
        EXPECT_STREQ(gtk_window_get_title(dialog), "Wipe Several Drives") << "open again";
        EXPECT_EQ(Settings::instance().wipe_options().mode(), 0);
      })
      .click("options")
      .then(choose(5))
      .click("gtk-ok")
      .close();
  EXPECT_EQ(wipe.run(), MultiWipeUI::Action::None);
  EXPECT_EQ(Settings::instance().wipe_options().mode(), 5);
}
