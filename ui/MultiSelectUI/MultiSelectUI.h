// A list of drives with a tick box on each row, and buttons that tick or untick them all: the
// body of the hidden-drives and multi-drive wipe dialogs. A row's position is the drive's index
// in the list it was made over, which it never changes. Space ticks or unticks the row at the
// cursor, whichever of its cells the cursor is on; Return is the dialog's, as in every dialog (it
// presses the default button). Each tick is named for assistive tools after its drive.
#pragma once

#include "Drive.h"
#include "GLibOwners.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <vector>

class MultiSelectUI {
public:
  // Told after every change of the ticks.
  class Callback {
  public:
    virtual void selection_changed(MultiSelectUI& list) = 0;
    virtual ~Callback() = default;
  };

  // Over `drives` (not owned; it must outlive the list), nothing ticked. The observer is one
  // that does nothing until set_callback.
  explicit MultiSelectUI(const std::vector<Drive>& drives);
  MultiSelectUI(const MultiSelectUI&) = delete;
  MultiSelectUI& operator=(const MultiSelectUI&) = delete;

  const std::vector<Drive>& drives() const { return drives_; }
  // Throws std::runtime_error "MultiSelectUI.cpp(88)" for an index past the list.
  bool is_selected(std::size_t index) const;
  // Ticks or unticks row `index`, then tells the observer. Throws std::runtime_error
  // "MultiSelectUI.cpp(94)" for an index past the list, and "MultiSelectUI.cpp(101)" when the
  // list widget has not been built (the tick is kept).
  void set_selected(std::size_t index, bool selected);
  // `callback` is not owned; null restores the one that does nothing.
  void set_callback(Callback* callback);

  // Builds the list widget, one row per drive, for the owner to put into its dialog. Throws
  // what gtk::Builder throws.
  GtkWidget* build();

private:
  static void on_toggled(GtkCellRendererToggle*, gchar* path, gpointer self);
  static gboolean on_list_key(GtkWidget* list, GdkEventKey* event, gpointer self);
  static void on_select_all(GtkButton*, gpointer self);
  static void on_unselect_all(GtkButton*, gpointer self);
  void toggle(const gchar* path);
  // Names the tick of each row for assistive tools by the row's drive.
  void name_tick_cells(GtkWidget* list);
  void select_all(bool selected);
  void update();

  const std::vector<Drive>& drives_;
  std::vector<bool> ticks;
  gtk::WidgetRef widget;
  ObjectRef<GtkListStore> store;
  std::vector<ObjectRef<AtkObject>> tickCells;
  GtkWidget* selectAll = nullptr;
  GtkWidget* unselectAll = nullptr;
  Callback* callback;
};
