#include "DriveIconUI/DriveIconUI.h"
#include "DriveMiniUI/DriveMiniUI.h"

#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "Keyboard.h"
#include "Screenshot.h"
#include "gtk/WidgetName.h"

#include <gdk/gdkkeysyms.h>

#include <memory>
#include <string>

namespace {

Drive sample_drive(const char* model = "WDC WD5000AAKX", const char* warning = "") {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive1");
  drive.set_sectors(976773168);
  drive.set_sector_size(512);
  drive.set_model(model);
  drive.set_serial("WD-WCAYUS123456");
  drive.set_warning(warning);
  return drive;
}

class DriveIconUITest : public WindowTest, public DriveIconUI::Callback {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    icon = std::make_unique<DriveIconUI>(DriveIconUI::Look::WithLight);
    icon->set_callback(this);
    gtk_container_add(GTK_CONTAINER(window), icon->widget());
    gtk_widget_show(window);
  }
  void TearDown() override {
    icon.reset();
    WindowTest::TearDown();
  }
  void activated(DriveIconUI& pressed) override {
    EXPECT_EQ(&pressed, icon.get());
    ++presses;
  }

  GtkWidget* part(const char* id) { return widget_by_id(icon->widget(), id); }

  // Per LED (none, green, yellow, red): "-" hidden, "o" shown, "*" blinking.
  std::string leds() {
    std::string s;
    for (const char* id : {"led-none", "led-green", "led-yellow", "led-red"}) {
      GtkWidget* led = part(id);
      s += SyncBlink::instance().blinks(led) ? '*' : gtk_widget_get_visible(led) ? 'o' : '-';
    }
    return s;
  }
  int segments() {
    int n = 0;
    for (int i = 0; i < 10; ++i)
      n += gtk_widget_get_visible(part(("percent-on-" + std::to_string(i)).c_str())) ? 1 : 0;
    return n;
  }

  std::unique_ptr<DriveIconUI> icon;
  int presses = 0;
};

} // namespace

TEST_F(DriveIconUITest, LightAndBarFollowStatusAndPercent) {
  const struct {
    bool drive;
    DriveLight light;
    int percent;
    const char* leds;
    int segments;
  } cases[] = {
      {true, DriveLight::None, 50, "o---", 0},
      {true, DriveLight::Ready, 50, "-o--", 0},
      {true, DriveLight::Busy, 50, "o-*-", 5},
      {true, DriveLight::Finished, 100, "o*--", 10},
      {true, DriveLight::Waiting, 37, "o--*", 3},
      {true, DriveLight::Busy, 9, "o-*-", 0},
      {true, DriveLight::Busy, 10, "o-*-", 1},
      {true, DriveLight::Busy, 105, "o-*-", 10},
      {true, DriveLight::Busy, -5, "o-*-", 0},
      {true, DriveLight::Ready, 100, "-o--", 0},
      {false, DriveLight::Busy, 50, "o---", 0},
      {false, DriveLight::Waiting, 100, "o---", 0},
      {true, DriveLight::Waiting, 100, "o--*", 10},
      {true, static_cast<DriveLight>(17), 100, "o---", 0},
  };
  icon->set_drive(sample_drive());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "drive " << c.drive << ", light "
                                    << static_cast<int>(c.light) << ", " << c.percent << "%");
    icon->set_has_drive(c.drive);
    icon->set_light(c.light);
    icon->set_percent(c.percent);
    EXPECT_EQ(leds(), c.leds);
    EXPECT_EQ(segments(), c.segments);
  }
  icon->set_light(DriveLight::None);
  EXPECT_FALSE(SyncBlink::instance().running());
}

TEST_F(DriveIconUITest, TheSameStatusAgainTouchesNothing) {
  icon->set_drive(sample_drive());
  icon->set_has_drive(true);
  icon->set_light(DriveLight::Busy);
  GtkWidget* yellow = part("led-yellow");
  gtk_widget_set_visible(yellow, FALSE);
  icon->set_light(DriveLight::Busy);
  icon->set_selected(false);
  EXPECT_FALSE(gtk_widget_get_visible(yellow));
  EXPECT_TRUE(SyncBlink::instance().blinks(yellow));
}

TEST_F(DriveIconUITest, SelectionShowsTheMarkAndTheSizeInGreen) {
  icon->set_drive(sample_drive());
  EXPECT_FALSE(gtk_widget_get_visible(part("size")));
  icon->set_has_drive(true);
  GtkWidget* size = part("size");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(size)), "500.1GB");
  EXPECT_TRUE(gtk_widget_get_visible(size));
  EXPECT_FALSE(gtk_widget_get_visible(part("selected")));
  EXPECT_STREQ(gtk_widget_get_name(size), "size");
  icon->set_selected(true);
  EXPECT_TRUE(gtk_widget_get_visible(part("selected")));
  EXPECT_STREQ(gtk_widget_get_name(size), "size-green");
  EXPECT_EQ(gtk::accessible_id(size), std::string("size"));
  EXPECT_STREQ(gtk_widget_get_name(icon->widget()), "DriveIconUI");
  icon->set_has_drive(false);
  EXPECT_FALSE(gtk_widget_get_visible(part("selected")));
  EXPECT_FALSE(gtk_widget_get_visible(size));
}

TEST_F(DriveIconUITest, TheTooltipDescribesTheDriveAsItIs) {
  GtkWidget* box = part("eventbox");
  EXPECT_FALSE(gtk_widget_get_has_tooltip(box)) << "an empty slot has no tooltip";
  icon->set_drive(sample_drive("A&B <1>", "System Drive"));
  icon->set_has_drive(true);
  EXPECT_TRUE(gtk_widget_get_has_tooltip(box));
  GtkWidget* tooltip = icon->tooltip_window();
  EXPECT_STREQ(gtk_widget_get_name(tooltip), "DriveIconUI-tooltip");
  EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(tooltip)), 4u);
  const std::string text = gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(tooltip))));
  EXPECT_EQ(text, "ID: \\\\.\\PhysicalDrive1\nMODEL: A&B <1>\nSERIAL: WD-WCAYUS123456\n"
                  "SECTORS: 976773168\nSECTOR SIZE: 512\nTOTAL SIZE: 500107862016\n"
                  "WARNING: System Drive");
  icon->set_has_drive(false);
  EXPECT_FALSE(gtk_widget_get_has_tooltip(box));
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(tooltip)))), "");
}

TEST_F(DriveIconUITest, OnlyASinglePressActivates) {
  GtkWidget* box = part("eventbox");
  const struct {
    GdkEventType type;
    guint button;
    int presses;
  } cases[] = {
      {GDK_BUTTON_PRESS, 1, 1},  {GDK_BUTTON_PRESS, 3, 1},   {GDK_2BUTTON_PRESS, 1, 0},
      {GDK_3BUTTON_PRESS, 1, 0}, {GDK_BUTTON_RELEASE, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.button);
    presses = 0;
    GdkEvent* event = gdk_event_new(c.type);
    event->button.window = GDK_WINDOW(g_object_ref(box->window));
    event->button.send_event = TRUE;
    event->button.button = c.button;
    gtk_widget_event(box, event);
    gdk_event_free(event);
    EXPECT_EQ(presses, c.presses);
  }
}

// The keyboard reaches a drive as a press does: the icon takes the focus, shows it, and opens
// on Return or Space.
TEST_F(DriveIconUITest, ReturnOrSpaceActivatesTheFocusedIcon) {
  GtkWidget* box = icon->focus_widget();
  EXPECT_FALSE(gtk_widget_get_can_focus(box)) << "an empty slot takes no focus";
  icon->set_drive(sample_drive());
  icon->set_has_drive(true);
  ASSERT_TRUE(gtk_widget_get_can_focus(box));
  EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(box)), "WDC WD5000AAKX 500.1GB");
  give_keyboard_to(window);
  const ObjectRef<GdkPixbuf> unfocused = picture_of(icon->widget());
  gtk_widget_grab_focus(box);
  ASSERT_TRUE(gtk_widget_has_focus(box));
  const ObjectRef<GdkPixbuf> focused = picture_of(icon->widget());
  const auto bytes = [](const ObjectRef<GdkPixbuf>& picture) {
    return std::string(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(picture.get())),
                       gdk_pixbuf_get_rowstride(picture.get()) *
                           gdk_pixbuf_get_height(picture.get()));
  };
  EXPECT_NE(bytes(focused), bytes(unfocused)) << "no focus mark is drawn";

  const struct {
    guint key;
    int presses;
  } cases[] = {{GDK_Return, 1}, {GDK_KP_Enter, 1}, {GDK_space, 1}, {GDK_KP_Space, 1},
               {GDK_a, 0},      {GDK_Escape, 0},   {GDK_Down, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(gdk_keyval_name(c.key));
    presses = 0;
    gtk_widget_grab_focus(box);
    press_key(window, c.key);
    EXPECT_EQ(presses, c.presses);
  }

  // A drive that goes takes the focus with it; an icon that nobody is told about takes none.
  icon->set_has_drive(false);
  EXPECT_FALSE(gtk_widget_get_can_focus(box));
  EXPECT_FALSE(gtk_widget_has_focus(box));
  icon->set_has_drive(true);
  icon->set_callback(nullptr);
  EXPECT_FALSE(gtk_widget_get_can_focus(box));
}

TEST_F(DriveIconUITest, TheSmallIconHasNoLightNorBar) {
  DriveIconUI small(DriveIconUI::Look::Plain);
  EXPECT_FALSE(gtk_widget_get_visible(widget_by_id(small.widget(), "leds")));
  EXPECT_FALSE(gtk_widget_get_visible(widget_by_id(small.widget(), "percent-fixed")));
  EXPECT_TRUE(gtk_widget_get_visible(part("leds")));
  EXPECT_TRUE(gtk_widget_get_visible(part("percent-fixed")));
}

namespace {

void count_gone(gpointer counter, GObject*) { ++*static_cast<int*>(counter); }

} // namespace

// The main window rebuilds nothing, but panels with an icon are opened and closed all day.
TEST_F(DriveIconUITest, AnIconLeavesNothingBehind) {
  int gone = 0;
  {
    DriveIconUI other(DriveIconUI::Look::WithLight);
    other.set_drive(sample_drive());
    other.set_has_drive(true);
    other.set_light(DriveLight::Waiting);
    g_object_weak_ref(G_OBJECT(other.widget()), count_gone, &gone);
    g_object_weak_ref(G_OBJECT(other.tooltip_window()), count_gone, &gone);
    g_object_weak_ref(G_OBJECT(widget_by_id(other.widget(), "led-red")), count_gone, &gone);
    EXPECT_TRUE(SyncBlink::instance().running());
  }
  EXPECT_EQ(gone, 3);
  EXPECT_FALSE(SyncBlink::instance().running());
}

TEST_F(DriveIconUITest, TheMiniViewShowsModelAndSerialAsTheyAre) {
  DriveMiniUI mini;
  mini.set_model("A&B <1>");
  mini.set_serial("S/N 42");
  EXPECT_STREQ(gtk_widget_get_name(mini.widget()), "DriveMiniUI");
  GtkWidget* model = widget_by_id(mini.widget(), "model");
  GtkWidget* serial = widget_by_id(mini.widget(), "serial");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(model)), "A&B <1>");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(serial)), "S/N 42");
  EXPECT_STREQ(gtk_widget_get_name(model), "model");
  EXPECT_STREQ(gtk_widget_get_name(serial), "serial");
}
