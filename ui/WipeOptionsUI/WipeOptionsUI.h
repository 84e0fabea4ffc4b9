// The wipe options dialog: the options editor in a dialog of its own, for the settings and for
// wipes of several drives at once. Made, run once and destroyed by its caller.
#pragma once

#include "WipeOptions.h"
#include "gtk/WidgetRef.h"
#include "parts/WipeOptionsEditor.h"

#include <gtk/gtk.h>

namespace gtk {
class Builder;
}

class WipeOptionsUI {
public:
  // Builds the dialog from "WipeOptionsUI/WipeOptionsUI.ui", over the window of `parent` (or
  // centred on the screen without one). Throws what gtk::Builder and the editor's bindings
  // throw.
  explicit WipeOptionsUI(GtkWidget* parent);
  WipeOptionsUI(const WipeOptionsUI&) = delete;
  WipeOptionsUI& operator=(const WipeOptionsUI&) = delete;

  // Shows `options` and waits for the operator. OK with valid options writes them into
  // `options` and returns true; OK with a pattern the method cannot use shows why and keeps the
  // dialog open; Cancel or closing the window returns false with `options` as they were.
  bool run(WipeOptions& options);

  GtkWidget* dialog() const { return dialog_.get(); }

private:
  WipeOptionsUI(const gtk::Builder& ui, GtkWidget* parent);

  gtk::WidgetRef dialog_;
  // Its messages open over the dialog, beside the field they are about.
  WipeOptionsEditor editor;
};
