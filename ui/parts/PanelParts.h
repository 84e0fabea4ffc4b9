// The two parts of a drive task's panel: the top, shown while the task is the one shown, and
// below it a part that a toggle button shows or hides. The choice is shared by every panel of a
// kind (all sector views, all wipe panels) for the life of the program: toggling one panel
// changes the others when they are next shown.
#pragma once

#include <gtk/gtk.h>

class PanelParts {
public:
  // `shown` is the kind's shared choice; the toggle starts with it and changes it.
  PanelParts(GtkWidget* top, GtkWidget* bottom, GtkToggleButton* toggle, bool& shown);
  PanelParts(const PanelParts&) = delete;
  PanelParts& operator=(const PanelParts&) = delete;

  // Shows the top, and the lower part when the shared choice says so.
  void select();
  // Hides both.
  void deselect();

private:
  static void on_toggle(GtkButton*, gpointer self);

  GtkWidget* top;
  GtkWidget* bottom;
  GtkToggleButton* toggle;
  bool& shown;
};
