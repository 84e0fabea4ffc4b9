// One drive or volume of the simulated machine, opened: its bytes live in the image files of
// the disks it lies on, and the failures its machine file switches on are its own.
#pragma once

#include "Machine.h"
#include "MachineFile.h"

#include <memory>

namespace platform {

class SimulatedMachine;

// Opens the drive or the volume (exactly one of them is given; both belong to `machine`) for
// `access` with `flags`, making the images at their drives' sizes when they are missing or
// shorter. Returns null with the last error set when the machine file makes "CreateFileA" fail
// or an image cannot be opened.
std::unique_ptr<Device> open_simulated_device(std::shared_ptr<const SimulatedMachine> machine,
                                              const SimulatedDrive* drive,
                                              const SimulatedVolume* volume, DWORD access,
                                              DWORD flags);

} // namespace platform
