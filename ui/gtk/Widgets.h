// A group of widgets switched together by index: shown or hidden, sensitive or not, one of them
// alone, or one of them blinking on a timer of its own. The group neither owns nor references
// its widgets.
#pragma once

#include "GLibOwners.h"

#include <gtk/gtk.h>

#include <vector>

namespace gtk {

class Widgets {
public:
  Widgets() = default;
  Widgets(const Widgets&) = delete;
  Widgets& operator=(const Widgets&) = delete;
  // Stops the blink.
  ~Widgets();

  // Appends `widget`; returns its index.
  unsigned add(GtkWidget* widget);
  unsigned size() const { return static_cast<unsigned>(widgets.size()); }

  // Each indexed operation throws std::runtime_error "Widgets.cpp(N)" for an index that is not
  // below size(), before anything changes.
  GtkWidget* widget(unsigned i) const;     // Widgets.cpp(104)
  bool is_visible(unsigned i) const;       // Widgets.cpp(32)
  void set_visible(unsigned i, bool on);   // Widgets.cpp(38); stops the blink first
  void show_only(unsigned i, bool on);     // Widgets.cpp(53); widget i `on`, the others not
  void set_all_visible(bool on);           // stops the blink first
  bool is_sensitive(unsigned i) const;     // Widgets.cpp(62)
  void set_sensitive(unsigned i, bool on); // Widgets.cpp(68)
  void set_all_sensitive(bool on);         //
  void enable_only(unsigned i, bool on);   // Widgets.cpp(81); widget i `on`, the others not

  // Flips the visibility of widget i every `period` milliseconds until the blink stops. Asked
  // again for the same widget and period while it blinks, it changes nothing (the phase goes
  // on); otherwise it starts over. Throws "Widgets.cpp(95)" for a bad index.
  void blink(unsigned i, int period);
  // Leaves the blinking widget as the last flip left it.
  void stop_blink();
  bool blinking() const { return static_cast<bool>(timer); }
  // The running blink's GLib source id, 0 when none runs.
  guint blink_source() const { return timer.get(); }

private:
  void check(unsigned i, const char* error) const;
  static gboolean on_tick(gpointer self);

  std::vector<GtkWidget*> widgets;
  Source timer;
  unsigned blinkIndex = 0;
  int blinkPeriod = 0;
};

} // namespace gtk
