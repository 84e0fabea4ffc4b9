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
void get_devices_info_win32_v1(std::vector<PropertyMap>& devices);

} // namespace dt
