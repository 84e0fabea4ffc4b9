// The ranges of a drive that the sector view and the wipe panel offer in a combo box: "Whole
// drive", each partition by its name, in the drive's order, and "Custom area" last, which stands
// for any other range.
#pragma once

#include "Drive.h"
#include "parts/DriveAreaEngine.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

namespace gtk {
class Builder;
}

// Appends the items to `combo` (a text combo box) and makes the first one active.
void fill_drive_area_items(GtkComboBox* combo, const Drive& drive);

// The item that shows the range of `sectors` sectors from `start`: 0 for the whole drive, else
// the first partition that covers exactly that range, else "Custom area".
int drive_area_item(const Drive& drive, std::uint64_t start, std::uint64_t sectors);

// The range of `item` into `start` and `sectors`; false, with both unchanged, for "Custom area"
// and for no item (-1).
bool drive_area_range(const Drive& drive, int item, std::uint64_t& start, std::uint64_t& sectors);

// The area choice of a drive's panel in `ui`: the combo box "<prefix>Area" filled with the
// drive's items (cut to the combo box's width where it shows the chosen one, whole in the list
// that drops down), and `area` bound to the spin buttons "<prefix>Start", "<prefix>Sectors" and
// "<prefix>Finish" over the whole drive. Returns the combo box; the panel connects it and sets
// the range and the callback of `area`.
GtkComboBox* bind_drive_area(const gtk::Builder& ui, const std::string& prefix, const Drive& drive,
                             DriveAreaEngine& area);
