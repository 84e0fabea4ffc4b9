// The device enumeration: one property table per physical drive and per volume of the
// machine.
#pragma once

#include "PropertyMap.h"

#include <vector>

namespace dt {

// Appends to `devices` the tables of the physical drives 0 to 31 that can be opened and sized,
// in drive-number order, then those of the volumes, in the order of the system's volume walk.
// Devices that fail are left out, with debug-log lines. Only opens devices for reading and
// sends queries. Throws the std::runtime_error of a storage descriptor that breaks its bounds;
// the tables appended before that drive stay in `devices`, and the error mode is restored.
//
// With `unopened`, each drive that the machine has but that cannot be opened or sized is told
// there as a table of "File", "System Name" (when the system names it) and "Failure" (why, in
// the system's words). A drive is there when the system names it, or when opening it fails
// otherwise than for a path that leads nowhere or a machine that is not ready.
void get_devices_info_win32_v1(std::vector<PropertyMap>& devices,
                               std::vector<PropertyMap>* unopened = nullptr);

} // namespace dt
