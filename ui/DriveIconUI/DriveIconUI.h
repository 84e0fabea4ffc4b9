// The icon of one drive: a drive picture with its status light, a selection mark, the size, a
// ten-step percentage bar, and a tooltip that describes the drive. The main window shows 18 of
// them with light and bar; the sector view panel one without.
#pragma once

#include "Drive.h"
#include "DriveLight.h"
#include "gtk/WidgetRef.h"
#include "gtk/Widgets.h"
#include "parts/SyncBlink.h"

#include <gtk/gtk.h>

#include <string>

class DriveIconUI {
public:
  class Callback {
  public:
    virtual ~Callback() = default;
    // The icon was pressed (a single press of any button), or Return or Space was pressed
    // while it had the keyboard's focus.
    virtual void activated(DriveIconUI& icon) = 0;
  };

  // What an icon shows beside the drive: the main window's icons have the light and the
  // percentage bar, the sector view panel's icon neither.
  enum class Look { WithLight, Plain };

  // Builds the icon from "DriveIconUI/DriveIconUI.ui". Throws what gtk::Builder throws.
  explicit DriveIconUI(Look look);
  DriveIconUI(const DriveIconUI&) = delete;
  DriveIconUI& operator=(const DriveIconUI&) = delete;

  GtkWidget* widget() const { return top.get(); }
  bool has_drive() const { return hasDrive; }
  const Drive& drive() const { return drive_; }
  // An icon with a callback takes the keyboard's focus while it shows a drive.
  void set_callback(Callback* callback);

  // Shows `drive`: its size, and its description in the tooltip.
  void set_drive(const Drive& drive);
  void set_has_drive(bool hasDrive);
  // An icon without a drive shows DriveLight::None whatever it is told.
  void set_light(DriveLight light);
  // What the icon was told last.
  DriveLight light() const { return light_; }
  bool selected() const { return selected_; }
  int percentage() const { return percent; }
  // True: the drive's task is the one shown.
  void set_selected(bool selected);
  // 0 to 100; the bar shows it only while the light is busy, finished or waiting.
  void set_percent(int percent);

  // The tooltip's window, for looking at it.
  GtkWidget* tooltip_window() const { return tooltip.get(); }
  // The part that takes the keyboard's focus and the presses.
  GtkWidget* focus_widget() const { return eventBox; }

private:
  static gboolean on_press(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean on_expose(GtkWidget* widget, GdkEventExpose* event, gpointer);
  void activate();
  void refresh();
  void update_leds();
  void update_percent();

  gtk::WidgetRef top;
  gtk::WidgetRef tooltip;
  GtkWidget* selectedMark = nullptr;
  GtkWidget* drivePicture = nullptr;
  GtkWidget* bayPicture = nullptr;
  GtkWidget* sizeLabel = nullptr;
  GtkLabel* tooltipLabel = nullptr;
  GtkWidget* eventBox = nullptr;
  bool hasDrive = false;
  DriveLight light_ = DriveLight::None;
  bool selected_ = false;
  Drive drive_;
  std::string markup;
  Callback* callback_ = nullptr;
  gtk::Widgets leds;
  SyncBlink::Client blinkClient;
  DriveLight shownLight = DriveLight::None;
  int percent = 0;
  gtk::Widgets percentSegments;
  int shownSegments = 0;
};
