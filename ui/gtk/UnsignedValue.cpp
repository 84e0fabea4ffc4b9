#include "gtk/UnsignedValue.h"

namespace gtk {

std::uint64_t unsigned_value(double value) {
  if (!(value > 0))
    return 0;
  if (value >= 18446744073709551616.0)
    return UINT64_MAX;
  return static_cast<std::uint64_t>(value);
}

std::uint64_t unsigned_value(GtkSpinButton* spin) {
  return unsigned_value(gtk_spin_button_get_value(spin));
}

std::uint64_t unsigned_value(GtkRange* range) { return unsigned_value(gtk_range_get_value(range)); }

} // namespace gtk
