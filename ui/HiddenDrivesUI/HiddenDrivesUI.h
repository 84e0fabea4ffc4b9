// The hidden-drives dialog: the drives the main window does not show are the ticked ones.
#pragma once

#include "MultiSelectUI/MultiSelectUI.h"
#include "Settings.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

class HiddenDrivesUI : public MultiSelectUI {
public:
  // The dialog over `drives` (not owned), centred on `parent` or, without one, on the screen;
  // nothing ticked. Throws what gtk::Builder throws.
  HiddenDrivesUI(const std::vector<Drive>& drives, GtkWindow* parent);
  HiddenDrivesUI(const HiddenDrivesUI&) = delete;
  HiddenDrivesUI& operator=(const HiddenDrivesUI&) = delete;
  // Destroys the dialog.
  ~HiddenDrivesUI();

  // Runs the dialog once; true when the operator pressed OK. The dialog stays until the object
  // goes, hidden.
  bool run();

  // Ticks the drives that `settings` hides and runs the dialog. On OK the ticked drives become
  // the hidden drives of `settings` (hidden drives that are not in this dialog's list are
  // dropped) and the result is true; otherwise `settings` stays as it was.
  bool edit(Settings& settings);

  // The dialog, as the parent of messages.
  GtkWindow* window() const { return GTK_WINDOW(dialog.get()); }

private:
  gtk::WidgetRef dialog;
};
