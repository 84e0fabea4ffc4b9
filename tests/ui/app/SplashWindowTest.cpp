// The splash window: its layout from the table, its ways of closing, the open area, and the
// keys that show_splash gathers from the configuration.
#include "app/SplashWindow.h"

#include "DialogResponder.h"
#include "Files.h"
#include "FindWidget.h"
#include "GLibOwners.h"
#include "GuiEnvironment.h"
#include "Locale.h"
#include "MainLoop.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "Script.h"
#include "TempDir.h"
#include "TestMachine.h"
#include "app/EndRequests.h"

#include <gdk/gdkkeysyms.h>
#include <signal.h>

#include <filesystem>
#include <string>

namespace {

class SplashWindowTest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 300, 200);
    gdk_pixbuf_fill(pixbuf, 0x2b3035ff);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, dir.file("splash.png").c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);
  }

  // A picture of 300 x 200 with the text at (200, 170, 90 x 20), the open area at (10, 170,
  // 80 x 20) and the close area over all of it.
  PropertyMap table(int timeout = 0) const {
    PropertyMap t;
    t.set_string("Program Name", "Corvana Wipe", PropertyMap::Existing::Replace);
    t.set_string("Program Revision", "v240101", PropertyMap::Existing::Replace);
    t.set_string("Splash Image", dir.file("splash.png"), PropertyMap::Existing::Replace);
    t.set_string("Splash Text Variable", "Program Revision", PropertyMap::Existing::Replace);
    t.set_string("Splash Text Format", "<b>%s</b>", PropertyMap::Existing::Replace);
    t.set_string("Splash Open Variable", "Address", PropertyMap::Existing::Replace);
    t.set_string("Address", "http://example.invalid/manual", PropertyMap::Existing::Replace);
    const struct {
      const char* key;
      int value;
    } numbers[] = {
        {"Splash Text Area X", 200},      {"Splash Text Area Y", 170},
        {"Splash Text Area Width", 90},   {"Splash Text Area Height", 20},
        {"Splash Text X Alignment", 100}, {"Splash Text Y Alignment", 0},
        {"Splash Open Area X", 10},       {"Splash Open Area Y", 170},
        {"Splash Open Area Width", 80},   {"Splash Open Area Height", 20},
        {"Splash Close Area X", 0},       {"Splash Close Area Y", 0},
        {"Splash Close Area Width", 300}, {"Splash Close Area Height", 200},
    };
    for (const auto& n : numbers)
      t.set_number(n.key, static_cast<std::uint64_t>(n.value), PropertyMap::Existing::Replace);
    if (timeout > 0)
      t.set_number("Splash Timeout", static_cast<std::uint64_t>(timeout),
                   PropertyMap::Existing::Replace);
    return t;
  }

  // The same keys as a program configuration.
  void configure(const PropertyMap& keys) {
    config::Value& configuration = program_config();
    configuration = config::Value(config::Value::Type::Object);
    for (const auto& [key, value] : keys) {
      const bool number =
          !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
      if (number)
        configuration[key.c_str()] = std::stoll(value);
      else
        configuration.set(key.c_str(), value);
    }
    configuration.set("Splash Image", "splash.png");
    Locale::instance().init(dir.path().string());
    std::filesystem::create_directories(dir.path() / "en");
    std::filesystem::copy_file(dir.file("splash.png"), dir.path() / "en" / "splash.png",
                               std::filesystem::copy_options::overwrite_existing);
  }

  TempDir dir;
};

// Emits a press of button 1 on the area named `name` of the splash window.
void press_area(GtkWindow* splash, const char* name) {
  GtkWidget* area = widget_by_id(GTK_WIDGET(splash), name);
  ASSERT_NE(area, nullptr);
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(area)));
  event->button.button = 1;
  event->button.send_event = TRUE;
  gboolean handled = FALSE;
  g_signal_emit_by_name(area, "button-press-event", event, &handled);
  gdk_event_free(event);
  EXPECT_TRUE(handled);
}

// Runs an outer main loop for `ms` milliseconds; false when something ended it early (a
// splash timer that fires after its window has gone would).
bool outer_loop_runs_for(int ms) {
  const gint64 start = g_get_monotonic_time();
  g_timeout_add(
      static_cast<guint>(ms),
      [](gpointer) -> gboolean {
        gtk_main_quit();
        return FALSE;
      },
      nullptr);
  gtk_main();
  return g_get_monotonic_time() - start >= gint64{ms} * 1000;
}

// The splash window is no GtkDialog: the responder sees that its last answer was taken only
// when it looks again after the window has gone.
void settle(const DialogResponder& answers) {
  EXPECT_TRUE(run_loop([&] { return answers.finished(); }, 5 * G_USEC_PER_SEC));
}

} // namespace

TEST(SplashMarkup, TheValueIsTextTheFormatIsMarkup) {
  const struct {
    const char* format;
    const char* value;
    const char* markup;
  } cases[] = {
      {"<b>%s</b>", "v240101", "<b>v240101</b>"},
      {"<b>%s</b>", "A&B <i>", "<b>A&amp;B &lt;i&gt;</b>"},
      {"100%% %s", "sure", "100% sure"},
      {"%s and %s", "one", "one and %s"},
      {"%d%n%x %s", "text", "%d%n%x text"},
      {"no place", "lost", "no place"},
      {"trailing %", "x", "trailing %"},
      {"", "x", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(splash_markup(c.format, c.value), c.markup) << c.format << " / " << c.value;
}

TEST_F(SplashWindowTest, TheTimeoutClosesIt) {
  const gint64 start = g_get_monotonic_time();
  run_splash_window(nullptr, table(150));
  const gint64 elapsed = g_get_monotonic_time() - start;
  EXPECT_GE(elapsed, 150 * 1000);
  EXPECT_LT(elapsed, 10 * G_USEC_PER_SEC);
}

TEST_F(SplashWindowTest, EscapeClosingAndTheCloseAreaCloseItAndTheTimerGoesWithIt) {
  // Timeouts far beyond the answers, but for one: the timer of a window closed before it fires
  // must not end the next main loop (a splash timer left behind would).
  const struct {
    const char* how;
    int timeout;
    bool watchTheTimer;
  } cases[] = {{"escape", 60000, false},
               {"close", 60000, false},
               {"area", 60000, false},
               {"escape", 0, false},
               {"escape", 2000, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.how << " " << c.timeout);
    DialogResponder answers;
    const std::string how = c.how;
    if (how == "escape")
      answers.key(GDK_Escape);
    else if (how == "close")
      answers.close();
    else
      answers.then([](GtkWindow* splash) { press_area(splash, "close"); });
    const gint64 start = g_get_monotonic_time();
    run_splash_window(nullptr, table(c.timeout));
    settle(answers);
    if (c.timeout > 0) {
      EXPECT_LT(g_get_monotonic_time() - start, gint64{c.timeout} * 1000);
    }
    if (c.watchTheTimer) {
      EXPECT_TRUE(outer_loop_runs_for(c.timeout + 200));
    }
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Corvana Wipe");
  }
}

// The system's request to end closes the splash window at once, as closing it would, and is
// kept for start-up to end on.
TEST_F(SplashWindowTest, TheSystemsRequestToEndClosesIt) {
  for (const int request : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(request);
    EndRequests requests;
    Source raising(g_timeout_add(
        100,
        [](gpointer request) -> gboolean {
          raise(GPOINTER_TO_INT(request));
          return FALSE;
        },
        GINT_TO_POINTER(request)));
    const gint64 start = g_get_monotonic_time();
    run_splash_window(nullptr, table(60000));
    raising.forget();
    EXPECT_LT(g_get_monotonic_time() - start, 30 * G_USEC_PER_SEC);
    EXPECT_TRUE(requests.requested());
    EXPECT_EQ(requests.exit_code(), 128 + request);
  }
}

TEST_F(SplashWindowTest, TheOpenAreaOpensItsTargetAndTheWindowStays) {
  const std::string opener = dir.file("opener");
  const std::string record = dir.file("opened");
  write_recording_script(opener, "echo \"$@\"", record);
  ScopedEnvironment shell("CVW_SHELL_OPEN", opener);
  bool stillOpen = false;
  DialogResponder answers;
  answers.then([](GtkWindow* splash) { press_area(splash, "open"); })
      .then([&](GtkWindow* splash) { stillOpen = gtk_widget_get_mapped(GTK_WIDGET(splash)); })
      .key(GDK_Escape);
  run_splash_window(nullptr, table());
  settle(answers);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(wait_for_file(record), "http://example.invalid/manual\n");
}

TEST_F(SplashWindowTest, TheTextStandsInItsAreaAsAligned) {
  const struct { int x, y; } alignments[] = {{0, 0}, {100, 100}, {50, 50}};
  for (const auto& a : alignments) {
    PropertyMap t = table();
    t.set_number("Splash Text X Alignment", static_cast<std::uint64_t>(a.x),
                 PropertyMap::Existing::Replace);
    t.set_number("Splash Text Y Alignment", static_cast<std::uint64_t>(a.y),
                 PropertyMap::Existing::Replace);
    DialogResponder answers;
    answers
        .then([&](GtkWindow* splash) {
          GtkWidget* label = widget_by_id(GTK_WIDGET(splash), "text");
          ASSERT_NE(label, nullptr);
          EXPECT_STREQ(gtk_label_get_label(GTK_LABEL(label)), "<b>v240101</b>");
          gfloat x = -1, y = -1;
          gtk_misc_get_alignment(GTK_MISC(label), &x, &y);
          EXPECT_FLOAT_EQ(x, a.x / 100.0f);
          EXPECT_FLOAT_EQ(y, a.y / 100.0f);
          GtkAllocation area;
          gtk_widget_get_allocation(label, &area);
          EXPECT_EQ(area.x, 200);
          EXPECT_EQ(area.y, 170);
          EXPECT_EQ(area.width, 90);
          EXPECT_EQ(area.height, 20);
        })
        .key(GDK_Escape);
    run_splash_window(nullptr, t);
    settle(answers);
  }
}

TEST_F(SplashWindowTest, TheAboutBoxHasNoTimeout) {
  PropertyMap keys = table(1);
  configure(keys);
  bool stillOpen = false;
  DialogResponder answers;
  answers
      .then([&](GtkWindow* splash) {
        // Long past the configured millisecond.
        run_loop([] { return false; }, 150 * 1000);
        stillOpen = gtk_widget_get_mapped(GTK_WIDGET(splash));
      })
      .key(GDK_Escape);
  show_splash(nullptr, SplashUse::About);
  settle(answers);
  EXPECT_TRUE(stillOpen);
}

TEST_F(SplashWindowTest, AMissingKeyShowsNothing) {
  for (const char* key :
       {"Splash Open Area X", "Address", "Splash Text Format", "Splash Timeout"}) {
    SCOPED_TRACE(key);
    PropertyMap keys = table(100);
    keys.erase(key);
    configure(keys);
    GList* before = gtk_window_list_toplevels();
    EXPECT_THROW(show_splash(nullptr, SplashUse::StartUp), config::Value::Exception);
    GList* after = gtk_window_list_toplevels();
    EXPECT_EQ(g_list_length(after), g_list_length(before));
    g_list_free(before);
    g_list_free(after);
  }
}

TEST_F(SplashWindowTest, Screenshot) {
  config::Value& configuration = program_config();
  std::string text;
  ASSERT_TRUE(read_file(std::string(CVW_PROGRAM_DIR) + "/wipedesk.cfg", text));
  ASSERT_TRUE(configuration.parse(text.c_str()));
  configuration.set("Program Revision", "v240101");
  configuration.set("Program Path", CVW_PROGRAM_DIR);
  Locale::instance().init(std::string(CVW_PROGRAM_DIR) + "/lib/locale");
  DialogResponder answers;
  answers.then([](GtkWindow* splash) { save_screenshot(GTK_WIDGET(splash), "SplashWindow"); })
      .key(GDK_Escape);
  show_splash(nullptr, SplashUse::About);
  settle(answers);
}
