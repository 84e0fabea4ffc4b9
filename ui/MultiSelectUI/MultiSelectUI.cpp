#include "MultiSelectUI/MultiSelectUI.h"

#include "Format.h"
#include "Guarded.h"
#include "Strings.h"
#include "Translation.h"
#include "gtk/Builder.h"
#include "parts/DriveHeader.h"
#include "parts/DriveMarkup.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <stdexcept>

namespace {

// The list store's columns.
enum Column {
  TickColumn,   // gboolean
  NameColumn,   // "model / serial"
  SizeColumn,   // the size as text
  IndexColumn,  // gint, the drive's index
  BytesColumn,  // guint64, the size in bytes, to sort by
  MarkupColumn, // the drive described in markup, the row's tooltip
};

// Where the tick stands among the list's columns as it shows them.
constexpr gint tick_column = 0;

class DefaultCallback : public MultiSelectUI::Callback {
public:
  void selection_changed(MultiSelectUI&) override {}
};

DefaultCallback default_callback;

} // namespace

MultiSelectUI::MultiSelectUI(const std::vector<Drive>& drives)
    : drives_(drives), ticks(drives.size(), false), callback(&default_callback) {}

bool MultiSelectUI::is_selected(std::size_t index) const {
  if (index >= ticks.size())
    throw std::runtime_error("MultiSelectUI.cpp(88)");
  return ticks[index];
}

void MultiSelectUI::set_selected(std::size_t index, bool selected) {
  if (index >= ticks.size())
    throw std::runtime_error("MultiSelectUI.cpp(94)");
  ticks[index] = selected;
  GtkTreeIter row;
  if (!store || !gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store.get()), &row, nullptr,
                                               static_cast<gint>(index)))
    throw std::runtime_error("MultiSelectUI.cpp(101)");
  gtk_list_store_set(store.get(), &row, TickColumn, gboolean(selected), -1);
  update();
}

void MultiSelectUI::set_callback(Callback* callback_) {
  callback = callback_ != nullptr ? callback_ : &default_callback;
}

GtkWidget* MultiSelectUI::build() {
  gtk::Builder ui("MultiSelectUI/MultiSelectUI.ui");
  widget.reset(ui.widget("widget"));
  store = ObjectRef<GtkListStore>::share(ui.get<GtkListStore>("liststore", GTK_TYPE_LIST_STORE));
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    const Drive& drive = drives_[i];
    const std::uint64_t bytes = drive.sectors() * drive.sector_size();
    // Named as its task's header names it: a disk without model and serial by what the system
    // calls it.
    const std::string name = valid_utf8(drive_header_line(drive));
    GtkTreeIter row;
    gtk_list_store_append(store.get(), &row);
    gtk_list_store_set(store.get(), &row, TickColumn, FALSE, NameColumn, name.c_str(), SizeColumn,
                       format_size(bytes).c_str(), IndexColumn, static_cast<gint>(i), BytesColumn,
                       guint64(bytes), MarkupColumn,
                       drive_markup(drive, MarkupColours::OnLight).c_str(), -1);
  }
  g_signal_connect(ui.object("cellrendererSelection"), "toggled", G_CALLBACK(on_toggled), this);
  GtkWidget* list = ui.widget("treeview");
  g_signal_connect(list, "key-press-event", G_CALLBACK(on_list_key), this);
  name_tick_cells(list);
  selectAll = GTK_WIDGET(ui.get<GtkButton>("selectAll", GTK_TYPE_BUTTON));
  g_signal_connect(selectAll, "clicked", G_CALLBACK(on_select_all), this);
  unselectAll = GTK_WIDGET(ui.get<GtkButton>("unselectAll", GTK_TYPE_BUTTON));
  g_signal_connect(unselectAll, "clicked", G_CALLBACK(on_unselect_all), this);
  update();
  return widget.get();
}

void MultiSelectUI::update() {
  if (selectAll != nullptr) {
    const bool any = std::find(ticks.begin(), ticks.end(), true) != ticks.end();
    const bool all = std::find(ticks.begin(), ticks.end(), false) == ticks.end();
    gtk_widget_set_sensitive(selectAll, !all);
    gtk_widget_set_sensitive(unselectAll, any);
  }
  callback->selection_changed(*this);
}

void MultiSelectUI::on_toggled(GtkCellRendererToggle*, gchar* path, gpointer self) {
  guarded("MultiSelectUI.cpp(162)", "MultiSelectUI.cpp(164)",
          [&] { static_cast<MultiSelectUI*>(self)->toggle(path); });
}

// The tree view would take Return to tick the row at its cursor, which the operator meant to
// accept the dialog with: the first start opens the hidden drives with the cursor on the
// system drive's row, and Return then showed it. Space ticks the row at the cursor, also where
// the cursor stands on the drive's name or size, whose cells the tree view would only select.
gboolean MultiSelectUI::on_list_key(GtkWidget* list, GdkEventKey* event, gpointer self) {
  bool taken = false;
  guarded("MultiSelectUI.cpp(210)", "MultiSelectUI.cpp(212)", [&] {
    if (event->keyval == GDK_space || event->keyval == GDK_KP_Space) {
      GtkTreePath* path = nullptr;
      gtk_tree_view_get_cursor(GTK_TREE_VIEW(list), &path, nullptr);
      if (path == nullptr)
        return;
      gchar* text = gtk_tree_path_to_string(path);
      gtk_tree_path_free(path);
      taken = true;
      const std::string row = text;
      g_free(text);
      static_cast<MultiSelectUI*>(self)->toggle(row.c_str());
      return;
    }
    if (event->keyval != GDK_Return && event->keyval != GDK_KP_Enter &&
        event->keyval != GDK_ISO_Enter)
      return;
    GtkWidget* window = gtk_widget_get_toplevel(list);
    if (GTK_IS_WINDOW(window))
      gtk_window_activate_default(GTK_WINDOW(window));
    taken = true;
  });
  return taken ? TRUE : FALSE;
}

void MultiSelectUI::name_tick_cells(GtkWidget* list) {
  // Only an accessibility module makes the list a table of cells; without one there is no
  // cell to name.
  AtkObject* table = gtk_widget_get_accessible(list);
  if (!ATK_IS_TABLE(table))
    return;
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    AtkObject* cell = atk_table_ref_at(ATK_TABLE(table), static_cast<gint>(i), tick_column);
    if (cell == nullptr)
      continue;
    const std::string name = valid_utf8(format(gettext("Tick %1"), drive_header_line(drives_[i])));
    atk_object_set_name(cell, name.c_str());
    // The table keeps its cells only while somebody holds them; held, each keeps its name.
    tickCells.push_back(ObjectRef<AtkObject>::adopt(cell));
  }
}

void MultiSelectUI::toggle(const gchar* pathText) {
  GtkTreePath* path = gtk_tree_path_new_from_string(pathText);
  if (path == nullptr)
    throw std::runtime_error("MultiSelectUI.cpp(149)");
  GtkTreeIter row;
  const bool found = gtk_tree_model_get_iter(GTK_TREE_MODEL(store.get()), &row, path);
  gtk_tree_path_free(path);
  if (!found)
    throw std::runtime_error("MultiSelectUI.cpp(150)");
  gint index = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(store.get()), &row, IndexColumn, &index, -1);
  set_selected(static_cast<std::size_t>(index), !is_selected(static_cast<std::size_t>(index)));
  update();
}

void MultiSelectUI::on_select_all(GtkButton*, gpointer self) {
  guarded("MultiSelectUI.cpp(181)", "MultiSelectUI.cpp(183)",
          [&] { static_cast<MultiSelectUI*>(self)->select_all(true); });
}

void MultiSelectUI::on_unselect_all(GtkButton*, gpointer self) {
  guarded("MultiSelectUI.cpp(200)", "MultiSelectUI.cpp(202)",
          [&] { static_cast<MultiSelectUI*>(self)->select_all(false); });
}

void MultiSelectUI::select_all(bool selected) {
  for (std::size_t i = 0; i < ticks.size(); ++i)
    if (ticks[i] != selected)
      set_selected(i, selected);
  update();
}
