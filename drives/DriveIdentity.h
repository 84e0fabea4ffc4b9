// Whether the disk behind a drive path is still the disk that a drive record describes. Drive
// numbers move when disks come and go, so the path a task was opened for may lead to another
// disk by the time a wipe is to begin: the task reads the disk's identity afresh first.
#pragma once

#include "Drive.h"

#include <string>

// Reads afresh from the machine what the drive at the path `id` is: `now` receives the id, the
// size in sectors, the sector size, the model and serial cleaned as the drive list cleans
// them, and the identity of the disk itself (no warning, no partitions). A drive that does not
// answer the storage query has an empty model and serial, one that does not tell its identity
// an empty identity. Returns false, with debug-log lines, when the drive cannot be opened or
// sized, its sizes are not usable, or its storage descriptor breaks its bounds.
bool read_drive_identity(const std::string& id, Drive& now);

// Whether `now` is still the disk `opened`: equal model, serial, size in sectors and sector
// size, and, when `opened` has an identity, the same identity. A twin (a disk of the same model,
// serial and size, such as another loop device over an image of the same size) that has taken
// the path differs in its identity alone.
bool same_disk(const Drive& opened, const Drive& now);

// Why a wipe may not begin on `opened`: empty when the drive at its path is, read afresh, still
// that disk; otherwise one sentence for the operator that names the path and says what the
// path leads to now (another disk, or nothing that can be read).
std::string drive_identity_change(const Drive& opened);

// The sentence of drive_identity_change for a path that leads to the disk `now`.
std::string drive_change_text(const Drive& opened, const Drive& now);
