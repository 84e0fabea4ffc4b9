// One open task on a drive: its kind, its own copy of the drive record, and the status light,
// selection and progress that the main window shows on the drive's icon.
#pragma once

#include "Drive.h"
#include "DriveLight.h"

#include <string>

class DriveTask {
public:
  DriveTask(const std::string& kind, const Drive& drive);
  virtual ~DriveTask();

  // Show or hide the task; nothing in the base. A derived task sets its selected flag there
  // and tells the list (DriveTasks::notify_selected).
  virtual void select();
  virtual void deselect();

  const std::string& kind() const { return kind_; }
  Drive& drive() { return drive_; }

  // Stores tell nobody: whoever changes a value calls the matching notification of the list.
  DriveLight light() const { return light_; }
  void set_light(DriveLight light) { light_ = light; }
  bool selected() const { return selected_; }
  void set_selected(bool selected) { selected_ = selected; }
  int percent() const { return percent_; }
  void set_percent(int percent) { percent_ = percent; }

private:
  std::string kind_;
  Drive drive_;
  DriveLight light_ = DriveLight::None; // set by the task's owner
  bool selected_ = false;
  int percent_ = 0;
};
