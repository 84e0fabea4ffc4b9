// Sector numbers and counts read from GTK spin buttons and ranges, which hold doubles: the
// value truncated to an unsigned 64-bit integer, never below 0 nor past 64 bits.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace gtk {

// 0 for anything not above 0 (NaN included), UINT64_MAX from 2^64 on, else truncated.
std::uint64_t unsigned_value(double value);
std::uint64_t unsigned_value(GtkSpinButton* spin);
std::uint64_t unsigned_value(GtkRange* range);

} // namespace gtk
