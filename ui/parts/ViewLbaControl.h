// The sector chooser of the sector view: a slider and a spin button that always show the same
// sector. Whichever the operator moves, the other follows and the owner hears of it once; a
// value set by the program is shown without telling anyone.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

class ViewLbaControl {
public:
  class Callback {
  public:
    // The operator chose sector `lba`.
    virtual void changed(ViewLbaControl& control, std::uint64_t lba) = 0;
    virtual ~Callback() = default;
  };

  ViewLbaControl() = default;
  ViewLbaControl(const ViewLbaControl&) = delete;
  ViewLbaControl& operator=(const ViewLbaControl&) = delete;

  // Keeps both widgets and follows the operator's changes of each.
  void bind(GtkRange* range, GtkSpinButton* spin);

  // Limits both to the `count` sectors from `first` (at least one). A slider needs two distinct
  // bounds: for a single sector it gets [first, first + 1] and is made insensitive.
  void set_limits(std::uint64_t first, std::uint64_t count);

  // Shows `lba` in both, without telling the callback.
  void set_value(std::uint64_t lba);

  void set_callback(Callback* callback) { callback_ = callback; }

private:
  static void on_range_changed(GtkRange*, gpointer self);
  static void on_spin_changed(GtkSpinButton*, gpointer self);
  void tell(std::uint64_t lba);

  GtkRange* range = nullptr;
  GtkSpinButton* spin = nullptr;
  Callback* callback_ = nullptr;
};
