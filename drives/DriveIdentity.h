// Whether the disk behind a drive path is still the disk that a drive record describes. Drive
// numbers move when disks come and go, so the path a task was opened for may lead to another
// disk by the time a wipe is to begin: the task reads the disk's identity afresh first.
#pragma once

#include "Drive.h"

#include <string>

// Reads afresh from the machine what the drive at the path `id` is: `now` receives the id, the
// size in sectors, the sector size, and the model and serial cleaned as the drive list cleans
// them (no warning, no partitions). A drive that does not answer the storage query has an empty
// model and serial. Returns false, with debug-log lines, when the drive cannot be opened or
// sized, its sizes are not usable, or its storage descriptor breaks its bounds.
bool read_drive_identity(const std::string& id, Drive& now);

// Whether `a` and `b` are the same disk: equal model, serial, size in sectors and sector size.
bool same_disk(const Drive& a, const Drive& b);

// Why a wipe may not begin on `opened`: empty when the drive at its path is, read afresh, still
// that disk; otherwise one sentence for the operator that names the path and says what the
// path leads to now (another disk, or nothing that can be read).
std::string drive_identity_change(const Drive& opened);

// The sentence of drive_identity_change for a path that leads to the disk `now`.
std::string drive_change_text(const Drive& opened, const Drive& now);
