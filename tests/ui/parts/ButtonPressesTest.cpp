#include "parts/ButtonPresses.h"

#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "MainLoop.h"

#include <gdk/gdkkeysyms.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A button with the mnemonic Alt+G in a window, its clicks counted.
class ButtonPressesTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    button = gtk_button_new_with_mnemonic("_Go");
    g_signal_connect(button, "clicked",
                     G_CALLBACK(+[](GtkButton*, gpointer count) { ++*static_cast<int*>(count); }),
                     &clicks);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), gtk_entry_new(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    presses = std::make_unique<ButtonPresses>(GTK_BUTTON(button));
    give_keyboard_to(window);
  }
  void TearDown() override {
    presses.reset();
    WindowTest::TearDown();
  }

  // The key `keyval` (with Alt when `alt`) going down or up at the server's `time`, through the
  // toolkit's event handling.
  void key(bool down, guint keyval, bool alt, guint32 time) {
    GdkEvent* event = gdk_event_new(down ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.send_event = TRUE;
    event->key.time = time;
    event->key.keyval = keyval;
    event->key.state = alt ? GDK_MOD1_MASK : 0;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count) &&
        count > 0)
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    gtk_main_do_event(event);
    gdk_event_free(event);
    // A button that a key holds down clicks by itself a moment later.
    run_loop([] { return false; }, 300 * 1000);
  }

  GtkWidget* button = nullptr;
  std::unique_ptr<ButtonPresses> presses;
  int clicks = 0;
};

} // namespace

// The mnemonic held down clicks once, however long its repeats come; typed again after its
// release, with a pause, it is a deliberate press of its own; typed again at once, a hurried
// one. The focus stays where it is (in the entry), and the release counts all the same.
TEST_F(ButtonPressesTest, AHeldMnemonicPressesOnce) {
  ASSERT_FALSE(gtk_widget_has_focus(button));
  const gint64 before = g_get_monotonic_time();
  EXPECT_EQ(presses->last_since(before), ButtonPresses::Press::None);
  key(true, GDK_g, true, 1000);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(presses->last_since(before), ButtonPresses::Press::Deliberate);
  const gint64 firstClick = g_get_monotonic_time();
  for (guint32 repeat = 1660; repeat < 1800; repeat += 40)
    key(true, GDK_g, true, repeat);
  EXPECT_EQ(clicks, 1) << "a repeat pressed the button";
  EXPECT_EQ(presses->last_since(firstClick), ButtonPresses::Press::None);
  key(false, GDK_g, true, 1900);

  key(true, GDK_g, true, 2000);
  key(false, GDK_g, true, 2050);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(presses->last_since(firstClick), ButtonPresses::Press::Hurried);

  const gint64 hurried = g_get_monotonic_time();
  key(true, GDK_g, true, 3000);
  key(false, GDK_g, true, 3050);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(presses->last_since(hurried), ButtonPresses::Press::Deliberate);
}

// Keys that do not press the button (typing in another widget, its own repeats) are no business
// of the button's.
TEST_F(ButtonPressesTest, OtherKeysAreLeftAlone) {
  const gint64 before = g_get_monotonic_time();
  key(true, GDK_a, false, 1000);
  key(true, GDK_a, false, 1660);
  key(false, GDK_a, false, 1700);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(presses->last_since(before), ButtonPresses::Press::None);
  EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(gtk_window_get_focus(GTK_WINDOW(window))))),
            "aa")
      << "the entry's own repeat was kept from it";
}
