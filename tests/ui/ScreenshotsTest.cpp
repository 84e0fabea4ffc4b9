// Pictures of this folder's widgets and dialogs in their states, written to the build folder's
// "screenshots" for people to look at: cut-off texts, overlaps and poor contrast show there,
// not in assertions.
#include "DialogResponder.h"
#include "DriveIconUI/DriveIconUI.h"
#include "DriveMiniUI/DriveMiniUI.h"
#include "GuiEnvironment.h"
#include "Screenshot.h"
#include "WipeRecordSample.h"
#include "gtk/ChooseStockButton.h"
#include "gtk/MessageBox.h"

#include <memory>
#include <vector>

namespace {

using ScreenshotsTest = GuiTest;

} // namespace

// One picture per selection: a row per light status, a column per percentage, and an empty
// slot, on the main window's background.
TEST_F(ScreenshotsTest, DriveIconsInEveryState) {
  for (int selected = 0; selected <= 1; ++selected) {
    std::vector<std::unique_ptr<DriveIconUI>> icons;
    GtkWidget* table = gtk_table_new(5, 4, FALSE);
    for (int light = 0; light <= static_cast<int>(DriveLight::Waiting); ++light) {
      const int percents[] = {0, 50, 100};
      for (int column = 0; column < 3; ++column) {
        auto icon = std::make_unique<DriveIconUI>(DriveIconUI::Look::WithLight);
        icon->set_drive(sample_drive());
        icon->set_has_drive(true);
        icon->set_selected(selected != 0);
        icon->set_light(static_cast<DriveLight>(light));
        icon->set_percent(percents[column]);
        gtk_table_attach_defaults(GTK_TABLE(table), icon->widget(), column, column + 1, light,
                                  light + 1);
        icons.push_back(std::move(icon));
      }
    }
    auto empty = std::make_unique<DriveIconUI>(DriveIconUI::Look::WithLight);
    gtk_table_attach_defaults(GTK_TABLE(table), empty->widget(), 3, 4, 0, 1);
    icons.push_back(std::move(empty));
    GtkWidget* window = show_in_window(table, "TopUI");
    save_screenshot(window, selected ? "DriveIconUI-selected" : "DriveIconUI");
    icons.clear();
    gtk_widget_destroy(window);
  }
}

TEST_F(ScreenshotsTest, TheSectorViewsDriveAndItsTooltip) {
  DriveIconUI icon(DriveIconUI::Look::Plain);
  icon.set_drive(sample_drive());
  icon.set_has_drive(true);
  DriveMiniUI mini;
  mini.set_model("ST2000DM008-2FR102");
  mini.set_serial("ZFL1A2B3");
  GtkWidget* row = gtk_hbox_new(FALSE, 8);
  gtk_box_pack_start(GTK_BOX(row), icon.widget(), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), mini.widget(), FALSE, FALSE, 0);
  GtkWidget* window = show_in_window(row, "ViewUI");
  save_screenshot(window, "DriveMiniUI");

  DriveIconUI warned(DriveIconUI::Look::WithLight);
  warned.set_drive(sample_drive("System Drive"));
  warned.set_has_drive(true);
  gtk_widget_show(warned.tooltip_window());
  save_screenshot(warned.tooltip_window(), "DriveIconUI-tooltip");
  gtk_widget_hide(warned.tooltip_window());
  gtk_widget_destroy(window);
}

TEST_F(ScreenshotsTest, MessageBoxesOfEveryKind) {
  const struct {
    gtk::MessageKind kind;
    const char* name;
    std::string text;
  } cases[] = {
      {gtk::MessageKind::Error, "error", "Cannot open file\n/home/operator/patterns/<zeros>.bin"},
      {gtk::MessageKind::Question, "question", "Save the settings?"},
      {gtk::MessageKind::Warning, "warning",
       "Wipe whole drive ST2000DM008-2FR102 / ZFL1A2B3?\n\nST2000DM008-2FR102 / ZFL1A2B3 is a "
       "System Drive\n\nAre you sure you want to continue?"},
      {gtk::MessageKind::Information, "information", "The wipe history was saved."},
      {gtk::MessageKind::Ok, "ok",
       "A long text wraps to the width of the box rather than widening it without end: "
       "the quick brown fox jumps over the lazy dog, again and again, until the line is "
       "long enough to need three or four lines in the box."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DialogResponder answers;
    answers
        .then([&](GtkWindow* dialog) {
          save_screenshot(GTK_WIDGET(dialog), std::string("MessageBox-") + c.name);
        })
        .respond(GTK_RESPONSE_REJECT);
    gtk::message_box(c.kind, c.text, nullptr,
                     c.kind == gtk::MessageKind::Warning ? gtk::DefaultButton::No
                                                         : gtk::DefaultButton::Yes);
  }
}

TEST_F(ScreenshotsTest, TheColumnOfButtons) {
  const char* const items[] = {"_Text file", "_CSV file", GTK_STOCK_SAVE_AS, nullptr};
  DialogResponder answers;
  answers.then([](GtkWindow* dialog) { save_screenshot(GTK_WIDGET(dialog), "ChooseStockButton"); })
      .click("gtk-cancel");
  EXPECT_EQ(gtk::choose_stock_button(nullptr, "Export", items), -1);
}
