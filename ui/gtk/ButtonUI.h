// A clickable widget with a hand cursor, and an optional companion widget that is shown exactly
// while the button is enabled.
#pragma once

#include <gtk/gtk.h>

namespace gtk {

// Shows the hand cursor while the pointer is over `widget`.
void set_hand_cursor(GtkWidget* widget);

class ButtonUI {
public:
  ButtonUI() = default;
  // Installs the hand cursor on `button` and keeps it, without companion.
  explicit ButtonUI(GtkWidget* button);

  void set_companion(GtkWidget* companion);

  // Makes the button sensitive or not and shows or hides the companion with it. Throws
  // std::runtime_error "ButtonUI.cpp(37)" when there is no button.
  void set_enabled(bool enabled);

  GtkWidget* button() const { return button_; }

private:
  GtkWidget* button_ = nullptr;
  GtkWidget* companion_ = nullptr;
};

} // namespace gtk
