#include "ViewUI/ViewUI.h"

#include "Guarded.h"
#include "Translation.h"
#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"
#include "gtk/HandlerBlock.h"
#include "gtk/WidgetName.h"
#include "gtk/WorkArea.h"
#include "parts/DriveAreaItems.h"
#include "parts/DriveHeader.h"

#include <gdk/gdkkeysyms.h>

#include <string>
#include <utility>

bool ViewUI::viewOptionsShown = true;

namespace {

// The items of "format", after which the boot-sector formats follow in the model's order.
const char* const format_items[] = {N_("HEX DUMP"), N_("BOOT SECTOR FAT16"),
                                    N_("BOOT SECTOR FAT32"), N_("BOOT SECTOR NTFS")};

// The lines of the sector's text that stay in view however low the screen; fewer where the
// panel's drive is kept in view above the buttons of a wipe, which matters more then.
constexpr int dump_least_lines = 4;
constexpr int dump_least_lines_beside_a_wipe = 1;

// The height of `lines` lines in the font of `view`, as it lays them out.
int text_height(GtkTextView* view, int lines) {
  std::string text = "0";
  for (int line = 1; line < lines; ++line)
    text += "\n0";
  gtk_widget_ensure_style(GTK_WIDGET(view));
  PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(view), text.c_str());
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  return height;
}

} // namespace

ViewUI::ViewUI(ViewModelFactory& factory, const Drive& drive, std::uint64_t lba,
               std::uint64_t sectors)
    : ViewUI(factory, drive, lba, sectors, gtk::Builder("ViewUI/ViewUI.ui")) {}

ViewUI::ViewUI(ViewModelFactory& factory, const Drive& drive, std::uint64_t lba,
               std::uint64_t sectors, const gtk::Builder& ui)
    : DriveTask("view", drive), model(factory.create(drive)), driveIcon(DriveIconUI::Look::Plain),
      parts(ui.widget("top"), ui.widget("bottom"),
            ui.get<GtkToggleButton>("toggle", GTK_TYPE_TOGGLE_BUTTON), viewOptionsShown),
      top(ui.widget("widget")) {
  model->set_view(this);
  gtk::set_widget_name(top.get(), "ViewUI");

  driveIcon.set_has_drive(true);
  driveIcon.set_selected(true);
  driveIcon.set_drive(drive);
  gtk_container_add(ui.get<GtkContainer>("driveIconBox", GTK_TYPE_CONTAINER), driveIcon.widget());
  const DriveHeader header = drive_header(drive);
  driveMini.set_model(header.model);
  driveMini.set_serial(header.serial);
  gtk_container_add(ui.get<GtkContainer>("driveMiniBox", GTK_TYPE_CONTAINER), driveMini.widget());

  lbaControl.bind(ui.get<GtkRange>("lbaScale", GTK_TYPE_RANGE),
                  ui.get<GtkSpinButton>("lba", GTK_TYPE_SPIN_BUTTON));
  lbaControl.set_limits(lba, sectors);
  lbaControl.set_value(lba);
  lbaControl.set_callback(this);

  textView = ui.get<GtkTextView>("textview", GTK_TYPE_TEXT_VIEW);
  g_signal_connect(textView, "key-press-event", G_CALLBACK(on_key_press), this);
  gtk_widget_grab_focus(GTK_WIDGET(textView));
  textBuffer = ui.get<GtkTextBuffer>("textbuffer", GTK_TYPE_TEXT_BUFFER);
  GtkScrolledWindow* dump = ui.get<GtkScrolledWindow>("scrolledwindow", GTK_TYPE_SCROLLED_WINDOW);
  scrollAdjustment = gtk_scrolled_window_get_vadjustment(dump);
  // On a low screen the dump gives up height, down to a few lines, before the task scrolls.
  const int frame = 2 * GTK_WIDGET(dump)->style->ythickness;
  gtk::let_shrink(GTK_WIDGET(dump), text_height(textView, dump_least_lines) + frame,
                  text_height(textView, dump_least_lines_beside_a_wipe) + frame);

  GtkWidget* blink = ui.get<GtkWidget>("blink", GTK_TYPE_BUTTON);
  gtk::set_widget_name(blink, "blink");
  g_signal_connect(blink, "clicked", G_CALLBACK(on_blink), this);

  areaCombo = bind_drive_area(ui, "view", drive, area);
  g_signal_connect(areaCombo, "changed", G_CALLBACK(on_area_changed), this);
  area.set(lba, sectors);
  area.set_callback(this);

  formatCombo = ui.get<GtkComboBox>("format", GTK_TYPE_COMBO_BOX);
  // No label stands before it: its name for assistive tools says what it chooses.
  atk_object_set_name(gtk_widget_get_accessible(GTK_WIDGET(formatCombo)), gettext("Sector format"));
  gtk::set_combo_popup_name(formatCombo);
  for (const char* item : format_items)
    gtk_combo_box_append_text(formatCombo, gettext(item));
  gtk_combo_box_set_active(formatCombo, 0);
  g_signal_connect(formatCombo, "changed", G_CALLBACK(on_format_changed), this);

  request(lba, Read::IfOther);
}

ViewUI::~ViewUI() {
  // The engine goes first, so that no answer arrives for a panel on its way out.
  model.reset();
}

void ViewUI::request(std::uint64_t lba, Read read) {
  const bool force = read == Read::Again;
  if (lba == none)
    return;
  if (pendingLba == none) {
    if (lba == shownLba && !force)
      return;
    pendingLba = lba;
    queuedLba = none;
    model->read(lba);
    return;
  }
  // A read is in flight. The newest wish is the one that counts: a wish for the sector in
  // flight drops an older one waiting, and any other wish (the sector shown too, which the
  // answer in flight will replace) waits in its place.
  if (lba == pendingLba && !force)
    queuedLba = none;
  else
    queuedLba = lba;
}

void ViewUI::area_wiped(std::uint64_t lba, std::uint64_t sectors) {
  if (shownLba != none && shownLba >= lba && shownLba - lba < sectors)
    request(shownLba, Read::Again);
}

void ViewUI::show(std::uint64_t lba, const std::string& text) {
  gtk_text_buffer_set_text(textBuffer, text.data(), static_cast<gint>(text.size()));
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(textBuffer, &start);
  gtk_text_buffer_place_cursor(textBuffer, &start);
  gtk_text_view_scroll_to_mark(textView, gtk_text_buffer_get_insert(textBuffer), 0, TRUE, 0, 0);
  shownLba = lba;
  if (queuedLba == none) {
    pendingLba = none;
    lbaControl.set_value(lba);
  } else {
    pendingLba = std::exchange(queuedLba, none);
    model->read(pendingLba);
  }
}

void ViewUI::select() { parts.select(); }

void ViewUI::deselect() { parts.deselect(); }

void ViewUI::changed(ViewLbaControl&, std::uint64_t lba) { lba_changed(lba); }

void ViewUI::changed(DriveAreaEngine&) { area_changed(); }

void ViewUI::lba_changed(std::uint64_t lba) { request(lba, Read::IfOther); }

void ViewUI::area_changed() {
  lbaControl.set_limits(area.start(), area.sectors());
  request(area.start(), Read::IfOther);
  // The item only follows the range here; choosing it again would set the same range.
  gtk::HandlerBlock hold(areaCombo, G_CALLBACK(on_area_changed), this);
  gtk_combo_box_set_active(areaCombo, drive_area_item(drive(), area.start(), area.sectors()));
}

std::uint64_t ViewUI::area_finish() const { return area.start() + area.sectors() - 1; }

void ViewUI::go_previous(bool& taken) {
  if (shownLba == none || shownLba <= area.start())
    return;
  // A sector shown outside the range (an error shown for sector 0) leads into the range.
  request(shownLba > area_finish() ? area_finish() : shownLba - 1, Read::IfOther);
  taken = true;
}

void ViewUI::go_next(bool& taken) {
  if (shownLba == none || shownLba >= area_finish())
    return;
  request(shownLba < area.start() ? area.start() : shownLba + 1, Read::IfOther);
  taken = true;
}

bool ViewUI::key_pressed(guint keyval) {
  bool taken = false;
  GtkTextIter cursor;
  gtk_text_buffer_get_iter_at_mark(textBuffer, &cursor, gtk_text_buffer_get_insert(textBuffer));
  const int line = gtk_text_iter_get_line(&cursor);
  const double value = gtk_adjustment_get_value(scrollAdjustment);
  switch (keyval) {
  case GDK_Up:
  case GDK_KP_Up:
    if (line == 0)
      go_previous(taken);
    break;
  case GDK_Page_Up:
  case GDK_KP_Page_Up:
    if (value <= gtk_adjustment_get_lower(scrollAdjustment))
      go_previous(taken);
    break;
  case GDK_Down:
  case GDK_KP_Down:
    if (line + 1 >= gtk_text_buffer_get_line_count(textBuffer))
      go_next(taken);
    break;
  case GDK_Page_Down:
  case GDK_KP_Page_Down:
    if (value + gtk_adjustment_get_page_size(scrollAdjustment) >=
        gtk_adjustment_get_upper(scrollAdjustment))
      go_next(taken);
    break;
  default: break;
  }
  return taken;
}

void ViewUI::area_chosen() {
  std::uint64_t start = 0, sectors = 0;
  if (!drive_area_range(drive(), gtk_combo_box_get_active(areaCombo), start, sectors))
    return; // "Custom area": the range stays as the operator last edited it
  area.set(start, sectors);
  request(area.start(), Read::IfOther);
}

void ViewUI::format_chosen() {
  const int item = gtk_combo_box_get_active(formatCombo);
  model->set_format(item >= ViewModel::FormatFat16 && item <= ViewModel::FormatNtfs
                        ? item
                        : ViewModel::FormatHexDump);
  request(shownLba, Read::Again);
}

gboolean ViewUI::on_key_press(GtkWidget*, GdkEventKey* event, gpointer self) {
  bool taken = false;
  guarded("ViewUI.cpp(127)", "ViewUI.cpp(129)",
          [&] { taken = static_cast<ViewUI*>(self)->key_pressed(event->keyval); });
  return taken ? TRUE : FALSE;
}

void ViewUI::on_blink(GtkButton*, gpointer self) {
  guarded("ViewUI.cpp(141)", "ViewUI.cpp(143)", [&] {
    auto* panel = static_cast<ViewUI*>(self);
    if (panel->callback_ != nullptr)
      panel->callback_->blink(*panel);
  });
}

void ViewUI::on_area_changed(GtkComboBox*, gpointer self) {
  guarded("ViewUI.cpp(164)", "ViewUI.cpp(166)", [&] { static_cast<ViewUI*>(self)->area_chosen(); });
}

void ViewUI::on_format_changed(GtkComboBox*, gpointer self) {
  guarded("ViewUI.cpp(185)", "ViewUI.cpp(187)",
          [&] { static_cast<ViewUI*>(self)->format_chosen(); });
}
