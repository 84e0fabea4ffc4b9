// The list of open drive tasks, in the order they were added, and the observer that follows
// it. The list owns neither the tasks nor the observer.
#pragma once

#include "DriveTask.h"

#include <string>
#include <vector>

class DriveTasks {
public:
  // Told, synchronously, of every change of the list and of its tasks' values.
  class Callback {
  public:
    // The task has been appended; the list holds it.
    virtual void added(DriveTasks& tasks, DriveTask* task) = 0;
    // A removal of the task has finished; the list no longer holds it, and the task is still
    // alive.
    virtual void removed(DriveTasks& tasks, DriveTask* task) = 0;
    virtual void light_changed(DriveTasks& tasks, DriveTask* task) = 0;
    virtual void selection_changed(DriveTasks& tasks, DriveTask* task) = 0;
    virtual void percent_changed(DriveTasks& tasks, DriveTask* task) = 0;
    virtual ~Callback() = default;
  };

  // Null switches the notifications off.
  void set_callback(Callback* callback) { callback_ = callback; }

  // Appends `task`, also when the list holds it already.
  void add(DriveTask* task);
  // Takes every entry of `task` out, keeping the order of the others; the caller destroys the
  // task afterwards.
  void remove(DriveTask* task);
  // The first task of `kind` on the drive with the id of `drive`; null when there is none.
  DriveTask* find(const std::string& kind, const Drive& drive) const;
  // Selects every entry that is `task` and deselects every other one; null deselects all.
  void select(DriveTask* task);

  void notify_light(DriveTask* task);
  void notify_selected(DriveTask* task);
  void notify_percent(DriveTask* task);

  const std::vector<DriveTask*>& tasks() const { return tasks_; }

private:
  std::vector<DriveTask*> tasks_;
  Callback* callback_ = nullptr;
};
