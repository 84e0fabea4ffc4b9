#include "DriveIconUI/DriveIconUI.h"

#include "Format.h"
#include "Guarded.h"
#include "gtk/Builder.h"
#include "gtk/WidgetName.h"
#include "parts/DriveHeader.h"
#include "parts/DriveMarkup.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <string>

namespace {

// The LEDs in the order of the group.
enum Led : unsigned { led_none = 0, led_green = 1, led_yellow = 2, led_red = 3 };

constexpr unsigned segment_count = 10;

} // namespace

DriveIconUI::DriveIconUI(Look look) {
  const bool full = look == Look::WithLight;
  gtk::Builder ui("DriveIconUI/DriveIconUI.ui");
  top.reset(ui.widget("widget"));
  gtk::set_widget_name(top.get(), "DriveIconUI");

  gtk_widget_set_visible(ui.widget("leds"), full);
  for (const char* name : {"led-none", "led-green", "led-yellow", "led-red"})
    leds.add(ui.get<GtkWidget>(name, GTK_TYPE_IMAGE));
  leds.show_only(led_none, true);
  shownLight = DriveLight::None;

  selectedMark = ui.widget("selected");
  drivePicture = ui.widget("drive");
  bayPicture = ui.widget("bay");
  sizeLabel = ui.get<GtkWidget>("size", GTK_TYPE_LABEL);

  eventBox = ui.get<GtkWidget>("eventbox", GTK_TYPE_EVENT_BOX);
  g_signal_connect(eventBox, "button-press-event", G_CALLBACK(on_press), this);
  g_signal_connect(eventBox, "key-press-event", G_CALLBACK(on_key_press), this);
  g_signal_connect_after(eventBox, "expose-event", G_CALLBACK(on_expose), nullptr);

  tooltip.reset(gtk_window_new(GTK_WINDOW_POPUP));
  gtk::set_widget_name(tooltip.get(), "DriveIconUI-tooltip");
  gtk_container_set_border_width(GTK_CONTAINER(tooltip.get()), 4);
  GtkWidget* label = gtk_label_new("");
  gtk_widget_show(label);
  gtk_container_add(GTK_CONTAINER(tooltip.get()), label);
  tooltipLabel = GTK_LABEL(label);
  gtk_widget_set_tooltip_window(eventBox, GTK_WINDOW(tooltip.get()));

  gtk_widget_set_visible(ui.widget("percent-fixed"), full);
  for (unsigned i = 0; i < segment_count; ++i)
    percentSegments.add(ui.widget(("percent-on-" + std::to_string(i)).c_str()));

  refresh();
}

void DriveIconUI::set_drive(const Drive& drive) {
  gtk_label_set_text(GTK_LABEL(sizeLabel),
                     format_size(drive.sectors() * drive.sector_size()).c_str());
  markup = drive_markup(drive, MarkupColours::OnDark);
  drive_ = drive;
  refresh();
}

void DriveIconUI::set_callback(Callback* callback) {
  callback_ = callback;
  refresh();
}

void DriveIconUI::set_has_drive(bool value) {
  hasDrive = value;
  refresh();
}

void DriveIconUI::set_light(DriveLight value) {
  light_ = value;
  refresh();
}

void DriveIconUI::set_selected(bool value) {
  selected_ = value;
  refresh();
}

void DriveIconUI::set_percent(int value) {
  percent = value;
  update_percent();
}

void DriveIconUI::refresh() {
  // An icon without a drive shows an empty bay rather than a drive that is not there.
  gtk_widget_set_visible(drivePicture, hasDrive);
  gtk_widget_set_visible(bayPicture, !hasDrive);
  // The keyboard reaches every drive that a press would open, and no empty slot.
  const bool focusable = hasDrive && callback_ != nullptr;
  if (!focusable && gtk_widget_has_focus(eventBox))
    if (GtkWidget* toplevel = gtk_widget_get_toplevel(eventBox); GTK_IS_WINDOW(toplevel))
      gtk_window_set_focus(GTK_WINDOW(toplevel), nullptr);
  gtk_widget_set_can_focus(eventBox, focusable);
  // Named as the drive's task names it, so that a disk without a model (a loop device) is no
  // bare size to a screen reader.
  atk_object_set_name(
      gtk_widget_get_accessible(eventBox),
      hasDrive
          ? (drive_header(drive_).model + " " + gtk_label_get_text(GTK_LABEL(sizeLabel))).c_str()
          : "");
  if (hasDrive) {
    gtk_widget_set_visible(selectedMark, selected_);
    gtk_widget_set_visible(sizeLabel, TRUE);
    gtk::set_widget_name(sizeLabel, selected_ ? "size-green" : "size");
    gtk_widget_set_tooltip_markup(eventBox, markup.c_str());
    gtk_label_set_markup(tooltipLabel, markup.c_str());
  } else {
    gtk_widget_set_visible(selectedMark, FALSE);
    gtk_widget_set_visible(sizeLabel, FALSE);
    gtk_widget_set_tooltip_markup(eventBox, "");
    gtk_label_set_markup(tooltipLabel, "");
    // No tooltip at all rather than an empty one over an empty slot.
    gtk_widget_set_has_tooltip(eventBox, FALSE);
  }
  update_leds();
  update_percent();
}

void DriveIconUI::update_leds() {
  const DriveLight shown = hasDrive ? light_ : DriveLight::None;
  if (shown == shownLight)
    return;
  blinkClient.detach();
  unsigned blinking = led_none;
  switch (shown) {
  case DriveLight::Ready: leds.show_only(led_green, true); break;
  case DriveLight::Busy: blinking = led_yellow; break;
  case DriveLight::Finished: blinking = led_green; break;
  case DriveLight::Waiting: blinking = led_red; break;
  default: leds.show_only(led_none, true); break;
  }
  if (blinking != led_none) {
    leds.show_only(led_none, true);
    // Joins the rhythm where the other blinking lights stand now.
    SyncBlink& blink = SyncBlink::instance();
    gtk_widget_set_visible(leds.widget(blinking), !blink.phase());
    blinkClient.attach(blink, leds.widget(blinking));
  }
  shownLight = shown;
}

void DriveIconUI::update_percent() {
  int n = 0;
  if (hasDrive && (light_ == DriveLight::Busy || light_ == DriveLight::Finished ||
                   light_ == DriveLight::Waiting))
    n = std::clamp(percent / 10, 0, static_cast<int>(segment_count));
  if (n == shownSegments)
    return;
  for (unsigned i = 0; i < segment_count; ++i)
    percentSegments.set_visible(i, static_cast<int>(i) < n);
  shownSegments = n;
}

void DriveIconUI::activate() {
  if (callback_ != nullptr)
    callback_->activated(*this);
}

gboolean DriveIconUI::on_press(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto& icon = *static_cast<DriveIconUI*>(self);
  guarded("DriveIconUI.cpp(150)", "DriveIconUI.cpp(152)", [&] {
    if (event->type == GDK_BUTTON_PRESS)
      icon.activate();
  });
  // The press is the icon's: it does not also start dragging the main window.
  return TRUE;
}

gboolean DriveIconUI::on_key_press(GtkWidget*, GdkEventKey* event, gpointer self) {
  switch (event->keyval) {
  case GDK_Return:
  case GDK_KP_Enter:
  case GDK_ISO_Enter:
  case GDK_space:
  case GDK_KP_Space:
    guarded("DriveIconUI.cpp(170)", "DriveIconUI.cpp(172)",
            [&] { static_cast<DriveIconUI*>(self)->activate(); });
    return TRUE;
  default: return FALSE; // Tab and the arrows move the focus on
  }
}

// The focus mark: the theme's focus frame around the icon's tile, over the pictures.
gboolean DriveIconUI::on_expose(GtkWidget* widget, GdkEventExpose* event, gpointer) {
  if (gtk_widget_has_focus(widget)) {
    GtkAllocation tile;
    gtk_widget_get_allocation(widget, &tile);
    gtk_paint_focus(gtk_widget_get_style(widget), gtk_widget_get_window(widget),
                    gtk_widget_get_state(widget), &event->area, widget, "button", 1, 1,
                    tile.width - 2, tile.height - 2);
  }
  return FALSE;
}
