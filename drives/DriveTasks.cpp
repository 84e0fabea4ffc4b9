#include "DriveTasks.h"

#include <algorithm>

void DriveTasks::add(DriveTask* task) {
  tasks_.push_back(task);
  if (callback_ != nullptr)
    callback_->added(*this, task);
}

void DriveTasks::remove(DriveTask* task) {
  std::vector<DriveTask*> kept;
  std::copy_if(tasks_.begin(), tasks_.end(), std::back_inserter(kept),
               [task](DriveTask* entry) { return entry != task; });
  tasks_.swap(kept);
  if (callback_ != nullptr)
    callback_->removed(*this, task);
}

DriveTask* DriveTasks::find(const std::string& kind, const Drive& drive) const {
  for (DriveTask* task : tasks_) {
    if (task->kind() == kind && task->drive().id() == drive.id())
      return task;
  }
  return nullptr;
}

void DriveTasks::select(DriveTask* task) {
  // A task may change the list while it is selected or deselected: walk a copy.
  const std::vector<DriveTask*> entries = tasks_;
  for (DriveTask* entry : entries) {
    if (entry == task)
      entry->select();
    else
      entry->deselect();
  }
}

void DriveTasks::notify_light(DriveTask* task) {
  if (callback_ != nullptr)
    callback_->light_changed(*this, task);
}

void DriveTasks::notify_selected(DriveTask* task) {
  if (callback_ != nullptr)
    callback_->selection_changed(*this, task);
}

void DriveTasks::notify_percent(DriveTask* task) {
  if (callback_ != nullptr)
    callback_->percent_changed(*this, task);
}
