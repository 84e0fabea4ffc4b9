#include "GuiEnvironment.h"

#include "TempDir.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/Toolkit.h"

#include <glib/gstdio.h>
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>

#ifndef CVW_PROGRAM_DIR
#error "the build supplies CVW_PROGRAM_DIR, the program directory"
#endif
#ifndef CVW_TEST_GTKRC
#error "the build supplies CVW_TEST_GTKRC, the tests' resource file"
#endif

namespace {

bool available = false;
std::string reason = "GTK was not started: the GUI test environment is not installed";
std::unique_ptr<TempDir> home;
std::string language;
GLogCapture* capture = nullptr;

const char* level_name(GLogLevelFlags level) {
  if (level & G_LOG_LEVEL_ERROR)
    return "error";
  if (level & G_LOG_LEVEL_CRITICAL)
    return "critical";
  return "warning";
}

void on_glog(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
  if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) == 0) {
    g_log_default_handler(domain, level, message, nullptr);
    return;
  }
  const std::string text = std::string(domain != nullptr ? domain : "") + ": " + message;
  if (capture != nullptr) {
    capture->take(text);
    return;
  }
  ADD_FAILURE() << "GLib " << level_name(level) << " " << text;
}

class GuiEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    home = std::make_unique<TempDir>();
    const std::filesystem::path root = home->path();
    for (const char* folder : {".local/share", ".config", ".cache"})
      std::filesystem::create_directories(root / folder);
    g_setenv("HOME", root.c_str(), TRUE);
    g_setenv("XDG_DATA_HOME", (root / ".local/share").c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", (root / ".config").c_str(), TRUE);
    g_setenv("XDG_CACHE_HOME", (root / ".cache").c_str(), TRUE);
    const std::string lib = std::string(CVW_PROGRAM_DIR) + "/lib";
    g_setenv("GTK2_RC_FILES", (lib + "/gtkrc-2.0:" + CVW_TEST_GTKRC).c_str(), TRUE);
    g_unsetenv("GTK_MODULES");
    g_unsetenv("GTK_IM_MODULE");
    const char* wanted = g_getenv("CVW_TEST_LOCALE");
    const std::string locale = wanted != nullptr && *wanted != '\0' ? wanted : "";
    g_setenv("LC_ALL", locale.empty() ? "C.UTF-8" : locale.c_str(), TRUE);
    g_unsetenv("LANGUAGE");

    gtk::set_resource_directory(lib);
    bindtextdomain("CVW", (lib + "/locale").c_str());
    bind_textdomain_codeset("CVW", "UTF-8");
    textdomain("CVW");
    g_log_set_default_handler(on_glog, nullptr);

    const char* display = g_getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
      reason = "no display: DISPLAY is not set (run the tests under xvfb-run, as ./dev does)";
      return;
    }
    int argc = 1;
    char name[] = "cvw-gui-tests";
    char* args[] = {name, nullptr};
    char** argv = args;
    // A display busy with other test processes can refuse a connection for a moment: ask
    // again for a few seconds before giving up.
    available = gtk::init_toolkit(argc, argv);
    for (int attempt = 0; !available && attempt < 50; ++attempt) {
      g_usleep(100 * 1000);
      available = gtk::init_toolkit(argc, argv);
    }
    if (!available) {
      reason = std::string("no display: GTK cannot open display ") + display;
      return;
    }
    // GTK took the locale from LC_ALL; one that is not installed would leave the texts English.
    if (!locale.empty() && std::string(setlocale(LC_MESSAGES, nullptr)) != locale) {
      available = false;
      reason = "the locale " + locale + " is not installed (./dev deps installs de_DE.UTF-8)";
      return;
    }
    if (!locale.empty())
      language = locale.substr(0, locale.find_first_of("_.@"));
    // The test processes share one display, and windows open at its centre, where the pointer
    // starts: GTK then follows the pointer into other processes' windows, which can vanish
    // between two of its questions to the server (a fatal BadWindow). The pointer waits in the
    // far corner, where no test opens a window.
    GdkDisplay* shown = gdk_display_get_default();
    GdkScreen* screen = gdk_display_get_default_screen(shown);
    gdk_display_warp_pointer(shown, screen, gdk_screen_get_width(screen) - 1,
                             gdk_screen_get_height(screen) - 1);
    gdk_display_sync(shown);
  }

  void TearDown() override { home.reset(); }
};

} // namespace

bool gui_available() { return available; }

const std::string& gui_unavailable_reason() { return reason; }

const std::string& test_language() { return language; }

void GuiTest::SetUp() {
  if (gui_available())
    return;
  const char* required = g_getenv("CVW_GUI_REQUIRED");
  if (required != nullptr && *required != '\0' && std::string(required) != "0")
    FAIL() << "a display is required (CVW_GUI_REQUIRED is set): " << gui_unavailable_reason();
  GTEST_SKIP() << gui_unavailable_reason();
}

void WindowTest::SetUp() {
  GuiTest::SetUp();
  if (!IsSkipped() && !HasFatalFailure())
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
}

void WindowTest::TearDown() {
  if (window != nullptr)
    gtk_widget_destroy(window);
  window = nullptr;
}

void flush_events() {
  for (int round = 0; round < 3; ++round) {
    // Lets the X server answer what was asked of it (a window's mapping and size) first.
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending())
      gtk_main_iteration_do(FALSE);
    gdk_window_process_all_updates();
  }
}

GLogCapture::GLogCapture() : outer(capture) { capture = this; }

GLogCapture::~GLogCapture() { capture = outer; }

// The kit's main: the environment first, then every test.
int main(int argc, char** argv) {
  // GLib's own allocator would hide the toolkit's memory from the sanitizers.
  g_setenv("G_SLICE", "always-malloc", TRUE);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new GuiEnvironment);
  return RUN_ALL_TESTS();
}
