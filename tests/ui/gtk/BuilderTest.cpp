#include "gtk/Builder.h"

#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "Thrown.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/WidgetName.h"
#include "gtk/WidgetRef.h"

#include <stdexcept>

namespace {

// Loads from the tests' own interface files for the life of the object.
class TestResources {
public:
  TestResources() : saved(gtk::resource_directory()) {
    gtk::set_resource_directory(std::string(CVW_TEST_DATA) + "/ui");
  }
  ~TestResources() { gtk::set_resource_directory(saved); }

private:
  std::string saved;
};

class BuilderTest : public GuiTest {
protected:
  TestResources resources;
  LogCapture log;
};

// Counts finalised objects.
void count_gone(gpointer counter, GObject*) { ++*static_cast<int*>(counter); }

guint window_count() {
  GList* windows = gtk_window_list_toplevels();
  const guint count = g_list_length(windows);
  g_list_free(windows);
  return count;
}

} // namespace

TEST_F(BuilderTest, FilesThatCannotBeLoadedFailWithThePathAndTheReason) {
  const std::string folder = std::string(CVW_TEST_DATA) + "/ui/";
  const struct {
    const char* file;
    const char* reason; // part of the GError message
  } cases[] = {
      {"Missing/Missing.ui", "No such file"},
      {"Broken/Broken.ui", "Broken.ui"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    log.clear();
    EXPECT_EQ(thrown_text([&] { gtk::Builder ui(c.file); }), "Builder.cpp(14)");
    const std::string line = "Builder.cpp(12): " + folder + c.file + " ";
    EXPECT_EQ(log.text().rfind(line, 0), 0u) << log.text();
    EXPECT_NE(log.text().find(c.reason), std::string::npos) << log.text();
    EXPECT_EQ(log.text().back(), '\n');
  }
}

TEST_F(BuilderTest, LookupsFailLoudlyForMissingNamesAndWrongTypes) {
  gtk::Builder ui("Sample/Sample.ui");
  const struct {
    const char* name;
    GType type;
    const char* thrown; // nullptr: found
    const char* line;
  } cases[] = {
      {"label", GTK_TYPE_LABEL, nullptr, ""},
      {"toggle", GTK_TYPE_BUTTON, nullptr, ""}, // a subtype is fine
      {"adjustment", GTK_TYPE_ADJUSTMENT, nullptr, ""},
      {"nosuch", GTK_TYPE_WIDGET, "Builder.cpp(23)", "Builder.cpp(22): nosuch\n"},
      {"label", GTK_TYPE_BUTTON, "Builder.cpp(31)",
       "Builder.cpp(30): label is a GtkLabel, not a GtkButton\n"},
      {"adjustment", GTK_TYPE_WIDGET, "Builder.cpp(31)",
       "Builder.cpp(30): adjustment is a GtkAdjustment, not a GtkWidget\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    if (c.thrown == nullptr) {
      EXPECT_NE(ui.get<GObject>(c.name, c.type), nullptr);
    } else {
      EXPECT_EQ(thrown_text([&] { ui.get<GObject>(c.name, c.type); }), c.thrown);
    }
    EXPECT_EQ(log.text(), c.line);
  }
  EXPECT_EQ(thrown_text([&] { ui.object("nosuch"); }), "Builder.cpp(23)");
  EXPECT_EQ(thrown_text([&] { ui.widget("adjustment"); }), "Builder.cpp(31)");
}

TEST_F(BuilderTest, WidgetsCarryTheirIdsAndNamesForAssistiveTools) {
  gtk::Builder ui("Sample/Sample.ui");
  GtkWidget* window = ui.widget("window");
  for (const char* id : {"window", "widget", "label", "toggle", "panel", "start"})
    EXPECT_EQ(gtk::accessible_id(ui.widget(id)), std::string(id));

  // The generic top gets its window's name; a specific id stays whatever the widget is named.
  gtk::set_widget_name(ui.widget("widget"), "SampleUI");
  gtk::set_widget_name(ui.widget("toggle"), "cancel");
  EXPECT_EQ(gtk::accessible_id(ui.widget("widget")), std::string("SampleUI"));
  EXPECT_EQ(gtk::accessible_id(ui.widget("toggle")), std::string("toggle"));
  EXPECT_STREQ(gtk_widget_get_name(ui.widget("toggle")), "cancel");
  // A widget made in code is found by its name.
  GtkWidget* popup = gtk_window_new(GTK_WINDOW_POPUP);
  gtk::set_widget_name(popup, "Sample-tooltip");
  EXPECT_EQ(gtk::accessible_id(popup), std::string("Sample-tooltip"));
  gtk_widget_destroy(popup);
  gtk_widget_destroy(window);
}

// The builder holds every object it made; the window keeps only what it shows, so that opening
// and closing a window again and again frees everything each time.
TEST_F(BuilderTest, WidgetsLiveAsLongAsTheirOwnerNotTheBuilder) {
  const guint windows = window_count();
  int gone = 0;
  gtk::WidgetRef window;
  gtk::WidgetRef panel;
  {
    gtk::Builder ui("Sample/Sample.ui");
    window.reset(ui.widget("window"));
    panel.reset(ui.widget("panel"));
    for (const char* id : {"window", "label", "panel", "start", "adjustment"})
      g_object_weak_ref(ui.object(id), count_gone, &gone);
  }
  // The unused adjustment went with the builder; what the window and the panel show stays.
  EXPECT_EQ(gone, 1);
  EXPECT_NE(find_widget(panel.get(), "start"), nullptr);
  panel.reset();
  EXPECT_EQ(gone, 3);
  window.reset();
  EXPECT_EQ(gone, 5);
  EXPECT_EQ(window_count(), windows);
}
