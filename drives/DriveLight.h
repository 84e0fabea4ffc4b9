// The status light of a drive's task, as the drive's icon shows it. The owner of a task sets it
// (the wipe panel from its model's state, the main window while the drive blinks); the task list
// passes it on without reading it. The numbers are the design's.
#pragma once

enum class DriveLight : int {
  None = 0,     // no light
  Ready = 1,    // green, steady
  Busy = 2,     // yellow, blinking (wiping, or the drive blinks)
  Finished = 3, // green, blinking
  Waiting = 4,  // red, blinking (an error waits for the operator)
};
