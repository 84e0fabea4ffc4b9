// The icon of one drive: a drive picture with its status light, a selection mark, the size, a
// ten-step percentage bar, and a tooltip that describes the drive. The main window shows 18 of
// them with light and bar; the sector view panel one without.
#pragma once

#include "Drive.h"
#include "gtk/WidgetRef.h"
#include "gtk/Widgets.h"
#include "parts/SyncBlink.h"

#include <gtk/gtk.h>

#include <string>

// The light status of a drive's task, as its icon shows it.
enum DriveLight : int {
  light_none = 0,     // no light
  light_ready = 1,    // green, steady
  light_busy = 2,     // yellow, blinking (wiping, or the drive blinks)
  light_finished = 3, // green, blinking
  light_waiting = 4,  // red, blinking (an error waits for the operator)
};

class DriveIconUI {
public:
  class Callback {
  public:
    virtual ~Callback() = default;
    // The icon was pressed (a single press of any button), or Return or Space was pressed
    // while it had the keyboard's focus.
    virtual void activated(DriveIconUI& icon) = 0;
  };

  // Builds the icon from "DriveIconUI/DriveIconUI.ui"; `full` shows the light and the bar.
  // Throws what gtk::Builder throws.
  explicit DriveIconUI(bool full);
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
  // A DriveLight; an icon without a drive shows light_none whatever it is told.
  void set_state(int status);
  // What the icon was told last.
  int state() const { return status; }
  int selection() const { return selected; }
  int percentage() const { return percent; }
  // Not 0: the drive's task is the one shown.
  void set_selected(int selected);
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
  int status = light_none;
  int selected = 0;
  Drive drive_;
  std::string markup;
  Callback* callback_ = nullptr;
  gtk::Widgets leds;
  SyncBlink::Client blinkClient;
  int shownState = light_none;
  int percent = 0;
  gtk::Widgets percentSegments;
  int shownSegments = 0;
};
