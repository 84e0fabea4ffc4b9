#include "parts/SyncBlink.h"

#include "DriveIconUI/DriveIconUI.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "MainLoop.h"

#include <memory>

namespace {

using SyncBlinkTest = GuiTest;

Drive some_drive() {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(2048);
  return drive;
}

} // namespace

TEST_F(SyncBlinkTest, AllBlinkingLightsGoOnAndOffTogether) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget* box = gtk_hbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  DriveIconUI busy(DriveIconUI::Look::WithLight);
  DriveIconUI waiting(DriveIconUI::Look::WithLight);
  for (DriveIconUI* icon : {&busy, &waiting}) {
    icon->set_drive(some_drive());
    icon->set_has_drive(true);
    gtk_container_add(GTK_CONTAINER(box), icon->widget());
  }
  gtk_widget_show_all(window);
  busy.set_light(DriveLight::Busy);
  GtkWidget* yellow = widget_by_id(busy.widget(), "led-yellow");
  GtkWidget* red = widget_by_id(waiting.widget(), "led-red");
  // A light that starts blinking later joins the rhythm where it stands.
  run_loop([] { return false; }, 300 * 1000);
  waiting.set_light(DriveLight::Waiting);
  EXPECT_EQ(gtk_widget_get_visible(red), gtk_widget_get_visible(yellow));
  for (int tick = 0; tick < 4; ++tick) {
    const gboolean before = gtk_widget_get_visible(yellow);
    ASSERT_TRUE(
        run_loop([&] { return gtk_widget_get_visible(yellow) != before; }, 5 * G_USEC_PER_SEC));
    EXPECT_EQ(gtk_widget_get_visible(red), gtk_widget_get_visible(yellow)) << "tick " << tick;
  }
  busy.set_light(DriveLight::None);
  waiting.set_light(DriveLight::None);
  gtk_widget_destroy(window);
}

TEST_F(SyncBlinkTest, TheTimerRunsWhileAnyoneBlinksAndKeepsItsPhase) {
  SyncBlink blink(10);
  GtkWidget* a = gtk_label_new("a");
  GtkWidget* b = gtk_label_new("b");
  g_object_ref_sink(a);
  g_object_ref_sink(b);
  gtk_widget_show(a);
  gtk_widget_show(b);
  EXPECT_FALSE(blink.running());
  EXPECT_FALSE(blink.phase());
  {
    SyncBlink::Client first;
    auto second = std::make_unique<SyncBlink::Client>();
    first.attach(blink, a);
    second->attach(blink, b);
    EXPECT_TRUE(blink.running());
    EXPECT_TRUE(blink.blinks(a) && blink.blinks(b));
    // The first tick turns them off. (What the tick left is taken at once: on a slow machine
    // the next tick may follow before the loop has stopped.)
    bool bVisible = true;
    bool phaseAfter = false;
    ASSERT_TRUE(run_loop(
        [&] {
          bVisible = gtk_widget_get_visible(b);
          phaseAfter = blink.phase();
          return !gtk_widget_get_visible(a);
        },
        5 * G_USEC_PER_SEC));
    EXPECT_FALSE(bVisible);
    EXPECT_TRUE(phaseAfter);
    second.reset(); // a client that goes detaches itself
    EXPECT_FALSE(blink.blinks(b));
    EXPECT_TRUE(blink.running());
    first.detach();
    EXPECT_FALSE(blink.running());
    EXPECT_EQ(first.widget(), nullptr);
    // Detached lights stay as the last tick left them.
    const gboolean left = gtk_widget_get_visible(a);
    const bool phase = blink.phase();
    run_loop([] { return false; }, 50 * 1000);
    EXPECT_EQ(gtk_widget_get_visible(a), left);
    first.attach(blink, a);
    EXPECT_TRUE(blink.running());
    EXPECT_EQ(blink.phase(), phase);
    // Attaching to another widget leaves the first.
    first.attach(blink, b);
    EXPECT_FALSE(blink.blinks(a));
    EXPECT_TRUE(blink.blinks(b));
  }
  EXPECT_FALSE(blink.running());
  g_object_unref(a);
  g_object_unref(b);
}
