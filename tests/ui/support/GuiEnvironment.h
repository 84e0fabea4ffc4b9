// The ground of every test of the desktop program: GTK started once per test process on a
// display, with one fixed look, in a temporary home.
//
// The environment (installed by the kit's main) pins what changes pixels and behaviour: the
// program's own lib/gtkrc-2.0 followed by the kit's test-gtkrc (DejaVu Sans 10, 96 DPI, the
// built-in theme), the program directory's lib/ as resource directory, the text domain "CVW"
// bound to lib/locale, the C locale (or the one CVW_TEST_LOCALE names, such as de_DE.UTF-8, for a
// run in another language), and a temporary HOME with .local/share in it (the file
// chooser writes there). It starts GTK with gtk::init_toolkit, as the program does.
//
// While a test runs, a GLib warning or critical (a failed g_return_if_fail, markup that does
// not parse, a picture that does not load) fails it, unless a GLogCapture takes it.
#pragma once

#include "SingletonGuard.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

// True when GTK started; else gui_unavailable_reason() says why.
bool gui_available();
const std::string& gui_unavailable_reason();

// The language of a run in the locale that CVW_TEST_LOCALE names ("de"); empty in the C locale.
const std::string& test_language();

// Base of every test that needs a display. Without one it skips with the reason, or fails when
// the environment variable CVW_GUI_REQUIRED is set (as CI sets it), so that a test run that
// should have had a display cannot pass by skipping. Every test starts with the process-wide
// singletons fresh and leaves them as it found them (SingletonGuard).
class GuiTest : public ::testing::Test {
protected:
  void SetUp() override;

private:
  SingletonGuard singletons;
};

// A GuiTest with a top-level window of its own, not shown, for the widgets under test; it is
// destroyed after the test. A subclass's SetUp calls this one first and fills `window` unless
// it is null (the test skips or has failed).
class WindowTest : public GuiTest {
protected:
  void SetUp() override;
  void TearDown() override;

  GtkWidget* window = nullptr;
};

// Handles every pending GTK event and redraw, without blocking.
void flush_events();

// Takes the GLib warnings and criticals of its lifetime instead of failing the test.
class GLogCapture {
public:
  GLogCapture();
  ~GLogCapture();
  GLogCapture(const GLogCapture&) = delete;
  GLogCapture& operator=(const GLogCapture&) = delete;

  // "<domain>: <message>" of each, in order.
  const std::vector<std::string>& messages() const { return taken; }
  void take(const std::string& message) { taken.push_back(message); }

private:
  std::vector<std::string> taken;
  GLogCapture* outer;
};
