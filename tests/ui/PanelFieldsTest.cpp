// The drive task's fields show what they hold whole: sector numbers of up to 13 digits in every
// sector field of both panels, and each volume's whole name in the area lists that drop down.
#include "ViewUI/ViewUI.h"
#include "WipeUI/WipeUI.h"

#include "FakeViewModel.h"
#include "FakeWipeModel.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "PartitionSample.h"
#include "ProgramConfig.h"
#include "Settings.h"
#include "TempDir.h"
#include "gtk/CVWStyle.h"

#include <memory>
#include <string>

namespace {

// 13 digits: about 5 PB in sectors of 512 bytes.
constexpr std::uint64_t largest = 9999999999999ULL;

Drive huge_drive() {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive7");
  drive.set_sectors(largest);
  drive.set_sector_size(512);
  drive.set_model("HUGE ARRAY 5PB");
  drive.set_serial("ARR0001");
  drive.set_partitions(
      {partition("4.608PB (Drive E:) NTFS - Measurements of the years 2019 to 2023", 2048,
                 9000000000000ULL),
       partition("512.0TB (Drive F:) NTFS - Backups of every workstation", 9000000002048ULL,
                 999999997951ULL)});
  return drive;
}

class PanelFieldsTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    program_config().set("Program Path", dir.path().string());
    const Drive drive = huge_drive();
    view = std::make_unique<ViewUI>(views, drive, 0, drive.sectors());
    wipe = std::make_unique<WipeUI>(wipes, drive, 0, drive.sectors(), window);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), view->widget(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), wipe->widget(), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show(box);
    gtk_widget_show(window);
    view->select();
    wipe->select();
    flush_events();
  }
  void TearDown() override {
    wipe.reset();
    view.reset();
    WindowTest::TearDown();
  }

  GtkSpinButton* spin(GtkWidget* panel, const char* id) {
    return GTK_SPIN_BUTTON(widget_by_id(panel, id));
  }

  LogCapture log;
  TempDir dir;
  FakeViewModelFactory views;
  FakeWipeModelFactory wipes;
  std::unique_ptr<ViewUI> view;
  std::unique_ptr<WipeUI> wipe;
};

// The room for text inside an entry: its text window less the inner border.
int text_room(GtkEntry* entry) {
  gint width = 0, height = 0;
  gdk_drawable_get_size(gtk_entry_get_text_window(entry), &width, &height);
  GtkBorder inner = {2, 2, 2, 2};
  if (const GtkBorder* own = gtk_entry_get_inner_border(entry)) {
    inner = *own;
  } else {
    GtkBorder* style = nullptr;
    gtk_widget_style_get(GTK_WIDGET(entry), "inner-border", &style, nullptr);
    if (style != nullptr) {
      inner = *style;
      gtk_border_free(style);
    }
  }
  return width - inner.left - inner.right;
}

} // namespace

TEST_F(PanelFieldsTest, EverySectorFieldShowsThirteenDigitsWhole) {
  // Operator changes that make every field hold a number of 13 digits.
  gtk_spin_button_set_value(spin(wipe->widget(), "wipeStart"), 1000000000000.0);
  gtk_spin_button_set_value(spin(view->widget(), "viewStart"), 1000000000000.0);
  gtk_spin_button_set_value(spin(view->widget(), "lba"), double(largest - 1));
  flush_events();
  const struct {
    GtkWidget* panel;
    const char* id;
  } fields[] = {{wipe->widget(), "wipeStart"},   {wipe->widget(), "wipeSectors"},
                {wipe->widget(), "wipeFinish"},  {view->widget(), "viewStart"},
                {view->widget(), "viewSectors"}, {view->widget(), "viewFinish"},
                {view->widget(), "lba"}};
  for (const auto& field : fields) {
    SCOPED_TRACE(field.id);
    GtkEntry* entry = GTK_ENTRY(spin(field.panel, field.id));
    const std::string text = gtk_entry_get_text(entry);
    ASSERT_EQ(text.size(), 13u) << text;
    // The cursor at the end: a text wider than its room would scroll.
    gtk_editable_set_position(GTK_EDITABLE(entry), -1);
    flush_events();
    gint width = 0;
    pango_layout_get_pixel_size(gtk_entry_get_layout(entry), &width, nullptr);
    EXPECT_LE(width, text_room(entry)) << text;
    EXPECT_EQ(entry->scroll_offset, 0) << text;
  }
}

// The area lists stay as wide as their file makes them, and the list that drops down shows each
// volume's whole name: its size, letter, file system and label.
TEST_F(PanelFieldsTest, TheAreaListsShowEveryVolumeWhole) {
  for (auto [panel, id] : {std::pair{wipe->widget(), "wipeArea"}, {view->widget(), "viewArea"}}) {
    SCOPED_TRACE(id);
    GtkComboBox* combo = GTK_COMBO_BOX(widget_by_id(panel, id));
    GtkTreeModel* items = gtk_combo_box_get_model(combo);
    GtkWidget* menu = gtk::attached_menu(GTK_WIDGET(combo));
    ASSERT_NE(menu, nullptr);
    GList* menuItems = gtk_container_get_children(GTK_CONTAINER(menu));
    ASSERT_EQ(g_list_length(menuItems), 4u);
    int widest = 0;
    int row = 0;
    for (GList* item = menuItems; item != nullptr; item = item->next, ++row) {
      GtkTreeIter iter;
      ASSERT_TRUE(gtk_tree_model_iter_nth_child(items, &iter, nullptr, row));
      gchar* text = nullptr;
      gtk_tree_model_get(items, &iter, 0, &text, -1);
      GtkWidget* view = gtk_bin_get_child(GTK_BIN(item->data));
      PangoLayout* layout = gtk_widget_create_pango_layout(view, text);
      gint width = 0;
      pango_layout_get_pixel_size(layout, &width, nullptr);
      g_object_unref(layout);
      GtkRequisition shown;
      gtk_widget_size_request(view, &shown);
      EXPECT_GE(shown.width, width) << text;
      widest = std::max(widest, width);
      g_free(text);
    }
    g_list_free(menuItems);
    GtkRequisition closed;
    gtk_widget_size_request(GTK_WIDGET(combo), &closed);
    EXPECT_LT(closed.width, widest) << "the closed list grew with the names";
  }
}
