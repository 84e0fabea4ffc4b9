// Readers of one physical drive for the device enumeration: its size, sector size, drive
// letters and what its storage descriptor tells.
#pragma once

#include "DeviceMapping.h"
#include "PropertyMap.h"
#include "Win32.h"

#include <string>

// Fills `properties` with "Size" and "Sector Size" of the open drive `device`, then, when the
// drive answers the storage property query, with "Model", "Revision", "Serial",
// "Removable Media" and "Bus Type" from its descriptor. Returns false, with a debug-log line,
// when the size cannot be had or a size key cannot be stored; a failed query is no failure.
// Throws the std::runtime_error of StorageDeviceDescriptor for a descriptor that breaks its
// bounds.
bool get_storage_properties(HANDLE device, PropertyMap& properties);

// Stores "Identity", the text that names the open drive `device` itself (get_device_identity).
// Returns false, with a debug-log line, when the drive does not tell.
bool get_identity_property(HANDLE device, PropertyMap& properties);

// Stores what the system under the platform layer says of the open drive `device` at `path`,
// where it says anything: "System Name" (its own name of the drive, "/dev/sdb"), and, where the
// storage descriptor has no model or no serial, "Model Stand-In" and "Serial Stand-In" with
// what they are in "Model Stand-In Kind" and "Serial Stand-In Kind" ("backing file", "driver"
// or "identifier"). What it does not say is left out, with a debug-log line.
void get_system_properties(HANDLE device, const std::string& path, PropertyMap& properties);

// The system's own name of the drive at `path` ("\\.\PhysicalDriveN"), "/dev/sdb"; empty when
// the machine gives none.
std::string drive_system_name(const std::string& path);

// Fills `properties` with "File" = `path`, the keys of get_storage_properties and
// "Drive Letters" (those of `mapping` that lie on the drive), "Identity" and the keys of
// get_system_properties, opening the drive for reading for the call. Returns false, with debug-log
// lines, when the drive cannot be opened or sized; the table is then not to be used. Throws what
// get_storage_properties throws, with the drive closed.
bool get_device_info_win32(const std::string& path, const DeviceMapping& mapping,
                           PropertyMap& properties);
