// Disk handle helpers: the size of an open disk or volume, and dismounting a volume.
#pragma once

#include "Win32.h"

#include <cstdint>
#include <string>

// Stores the byte size and the sector size of the open disk or volume `device`. The size
// comes from the partition information, or from the geometry when the device has none; the
// sector size always from the geometry. Returns false, with a debug-log line, when the
// geometry cannot be had (the outputs are then untouched), or when the size is 0, the sector
// size is 0 or the size is not a whole number of sectors (the outputs then hold what was
// found).
bool get_disk_size(HANDLE device, std::uint64_t& size, std::uint64_t& sectorSize);

// Stores in `identity` the text that names the open disk or volume `device` itself rather than
// its number: the GUID of IOCTL_STORAGE_GET_DEVICE_NUMBER_EX in its braced form
// ("{0000000C-0000-0000-0000-000700000000}"), alike for every handle of that device while it
// stays attached, and another for a disk that takes its number. Returns false, with a debug-log
// line, when the device does not tell (`identity` is then untouched).
bool get_device_identity(HANDLE device, std::string& identity);

// Takes the file system of the open volume `volume` off line. Returns false, with a debug-log
// line, when the system refuses.
bool dismount_volume(HANDLE volume);

// The same for the volume at `path` ("\\.\X:" or a volume name without its trailing
// backslash), opened for reading and writing for the call. Returns false, with debug-log
// lines, when it cannot be opened or dismounted.
bool dismount_volume(const std::string& path);
