#include "parts/DriveAreaItems.h"

#include "Strings.h"
#include "Translation.h"
#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"

namespace {

// The combo box shows its item cut to the width its file gives it; the list that drops down
// shows every item whole, a partition's label and file system included.
void whole_in_list(GtkCellLayout* layout, GtkCellRenderer* cell, GtkTreeModel*, GtkTreeIter*,
                   gpointer closedWidth) {
  const bool inList =
      GTK_IS_WIDGET(layout) && GTK_IS_MENU_ITEM(gtk_widget_get_parent(GTK_WIDGET(layout)));
  g_object_set(cell, "ellipsize", inList ? PANGO_ELLIPSIZE_NONE : PANGO_ELLIPSIZE_END,
               "width-chars", inList ? -1 : GPOINTER_TO_INT(closedWidth), nullptr);
}

void show_items_whole_in_list(GtkComboBox* combo) {
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(combo));
  for (GList* cell = cells; cell != nullptr; cell = cell->next) {
    if (!GTK_IS_CELL_RENDERER_TEXT(cell->data))
      continue;
    gint width = -1;
    g_object_get(cell->data, "width-chars", &width, nullptr);
    gtk_cell_layout_set_cell_data_func(GTK_CELL_LAYOUT(combo), GTK_CELL_RENDERER(cell->data),
                                       whole_in_list, GINT_TO_POINTER(width), nullptr);
  }
  g_list_free(cells);
}

} // namespace

void fill_drive_area_items(GtkComboBox* combo, const Drive& drive) {
  gtk_combo_box_append_text(combo, gettext("Whole drive"));
  for (const Partition& partition : drive.partitions())
    gtk_combo_box_append_text(combo, valid_utf8(partition.name()).c_str()); // a volume's label
  gtk_combo_box_append_text(combo, gettext("Custom area"));
  gtk_combo_box_set_active(combo, 0);
}

int drive_area_item(const Drive& drive, std::uint64_t start, std::uint64_t sectors) {
  if (start == 0 && sectors == drive.sectors())
    return 0;
  const auto& partitions = drive.partitions();
  for (std::size_t i = 0; i < partitions.size(); ++i)
    if (partitions[i].start() == start && partitions[i].sectors() == sectors)
      return static_cast<int>(i) + 1;
  return static_cast<int>(partitions.size()) + 1;
}

bool drive_area_range(const Drive& drive, int item, std::uint64_t& start, std::uint64_t& sectors) {
  const auto& partitions = drive.partitions();
  if (item == 0) {
    start = 0;
    sectors = drive.sectors();
    return true;
  }
  if (item < 0 || static_cast<std::size_t>(item) > partitions.size())
    return false;
  const Partition& partition = partitions[static_cast<std::size_t>(item) - 1];
  start = partition.start();
  sectors = partition.sectors();
  return true;
}

GtkComboBox* bind_drive_area(const gtk::Builder& ui, const std::string& prefix, const Drive& drive,
                             DriveAreaEngine& area) {
  GtkComboBox* combo = ui.get<GtkComboBox>((prefix + "Area").c_str(), GTK_TYPE_COMBO_BOX);
  gtk::set_combo_popup_name(combo);
  show_items_whole_in_list(combo);
  fill_drive_area_items(combo, drive);
  area.bind(ui.get<GtkSpinButton>((prefix + "Start").c_str(), GTK_TYPE_SPIN_BUTTON),
            ui.get<GtkSpinButton>((prefix + "Sectors").c_str(), GTK_TYPE_SPIN_BUTTON),
            ui.get<GtkSpinButton>((prefix + "Finish").c_str(), GTK_TYPE_SPIN_BUTTON));
  area.set_total(drive.sectors());
  return combo;
}
