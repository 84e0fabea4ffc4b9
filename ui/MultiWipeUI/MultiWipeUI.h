// The dialog that starts, stops, pauses or resumes wipes of several drives at once: the operator
// ticks drives and presses one of the four; the main window then acts on every ticked drive.
// It also edits the default wipe options.
#pragma once

#include "MultiSelectUI/MultiSelectUI.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

class MultiWipeUI : public MultiSelectUI::Callback {
public:
  // What the operator chose.
  enum class Action { Start = 0, Stop = 1, Pause = 2, Resume = 3, None = 4 };

  // The dialog over `drives` (not owned), centred on `parent` or, without one, on the screen;
  // nothing ticked. Throws what gtk::Builder throws.
  MultiWipeUI(const std::vector<Drive>& drives, GtkWindow* parent);
  MultiWipeUI(const MultiWipeUI&) = delete;
  MultiWipeUI& operator=(const MultiWipeUI&) = delete;
  ~MultiWipeUI() override;

  bool is_selected(std::size_t index) const { return list.is_selected(index); }
  void set_selected(std::size_t index, bool selected) { list.set_selected(index, selected); }
  const std::vector<Drive>& drives() const { return list.drives(); }

  // Runs the dialog until the operator chooses an action (Start only once the wipe of the
  // ticked drives is confirmed) or closes it; the default wipe options may be edited on the
  // way. The dialog stays until the object goes, hidden.
  Action run();

  GtkWindow* window() const { return GTK_WINDOW(dialog.get()); }

private:
  void selection_changed(MultiSelectUI& list) override;
  bool confirm_start();
  void edit_default_options();

  MultiSelectUI list;
  gtk::WidgetRef dialog;
  GtkWidget* buttonbox = nullptr;
};
