// The list of drive tasks: adding, removing, finding and selecting, and what its observer is
// told and sees.
#include "DriveTasks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Drive drive_with_id(const std::string& id) {
  Drive drive;
  drive.set_id(id);
  return drive;
}

// A task that counts its selections and, like the interface's tasks, keeps its flag.
class CountingTask : public DriveTask {
public:
  CountingTask(const std::string& kind, const std::string& id)
      : DriveTask(kind, drive_with_id(id)) {}

  void select() override {
    ++selects;
    set_selected(true);
  }
  void deselect() override {
    ++deselects;
    set_selected(false);
  }

  int selects = 0;
  int deselects = 0;
};

// Writes each notification as "what:kind" with the number of entries the list held then.
class Recorder : public DriveTasks::Callback {
public:
  void added(DriveTasks& tasks, DriveTask* task) override { note("added", tasks, task); }
  void removed(DriveTasks& tasks, DriveTask* task) override { note("removed", tasks, task); }
  void light_changed(DriveTasks& tasks, DriveTask* task) override { note("light", tasks, task); }
  void selection_changed(DriveTasks& tasks, DriveTask* task) override {
    note("selected", tasks, task);
  }
  void percent_changed(DriveTasks& tasks, DriveTask* task) override {
    note("percent", tasks, task);
  }

  std::vector<std::string> events;
  DriveTasks* list = nullptr;

private:
  void note(const char* what, DriveTasks& tasks, DriveTask* task) {
    list = &tasks;
    std::size_t held = 0;
    for (DriveTask* entry : tasks.tasks())
      held += entry == task ? 1 : 0;
    events.push_back(std::string(what) + ":" + task->kind() + " held " + std::to_string(held));
  }
};

TEST(DriveTask, StartsAtZeroWithItsOwnCopyOfTheDrive) {
  Drive drive = drive_with_id("\\\\.\\PhysicalDrive2");
  drive.set_model("MODEL");
  DriveTask task("vw", drive);
  drive.set_model("changed later");
  EXPECT_EQ(task.kind(), "vw");
  EXPECT_EQ(task.light(), DriveLight::None);
  EXPECT_FALSE(task.selected());
  EXPECT_EQ(task.percent(), 0);
  EXPECT_EQ(task.drive().id(), "\\\\.\\PhysicalDrive2");
  EXPECT_EQ(task.drive().model(), "MODEL");

  // The stores tell nobody; the base selection does nothing.
  DriveTask stored("wipe", drive);
  stored.set_light(DriveLight::Finished);
  stored.set_selected(true);
  stored.set_percent(42);
  stored.select();
  stored.deselect();
  EXPECT_EQ(stored.light(), DriveLight::Finished);
  EXPECT_TRUE(stored.selected());
  EXPECT_EQ(stored.percent(), 42);
}

TEST(DriveTasks, TellsTheObserverAfterTheListHasChanged) {
  DriveTasks tasks;
  Recorder recorder;
  tasks.set_callback(&recorder);
  CountingTask a("vw", "\\\\.\\PhysicalDrive0");
  CountingTask b("vw", "\\\\.\\PhysicalDrive1");
  tasks.add(&a);
  tasks.add(&b);
  tasks.add(&a); // twice: no test for duplicates
  EXPECT_EQ(tasks.tasks(), (std::vector<DriveTask*>{&a, &b, &a}));
  tasks.remove(&a); // both entries, one notification
  EXPECT_EQ(tasks.tasks(), (std::vector<DriveTask*>{&b}));
  tasks.remove(&a); // not in the list: unchanged, still told
  EXPECT_EQ(tasks.tasks(), (std::vector<DriveTask*>{&b}));
  tasks.notify_light(&b);
  tasks.notify_selected(&b);
  tasks.notify_percent(&b);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                 "added:vw held 1",
                                 "added:vw held 1",
                                 "added:vw held 2",
                                 "removed:vw held 0",
                                 "removed:vw held 0",
                                 "light:vw held 1",
                                 "selected:vw held 1",
                                 "percent:vw held 1",
                             }));
  EXPECT_EQ(recorder.list, &tasks);
}

TEST(DriveTasks, WithoutAnObserverOnlyTheListChanges) {
  DriveTasks tasks;
  Recorder recorder;
  tasks.set_callback(&recorder);
  tasks.set_callback(nullptr);
  CountingTask a("vw", "\\\\.\\PhysicalDrive0");
  tasks.add(&a);
  tasks.notify_light(&a);
  tasks.notify_selected(&a);
  tasks.notify_percent(&a);
  tasks.remove(&a);
  EXPECT_TRUE(tasks.tasks().empty());
  EXPECT_TRUE(recorder.events.empty());
}

TEST(DriveTasks, FindsTheFirstTaskOfAKindOnADrive) {
  DriveTasks tasks;
  CountingTask view("view", "\\\\.\\PhysicalDrive1");
  CountingTask first("vw", "\\\\.\\PhysicalDrive1");
  CountingTask second("vw", "\\\\.\\PhysicalDrive1");
  CountingTask other("vw", "\\\\.\\PhysicalDrive10");
  for (DriveTask* task : {static_cast<DriveTask*>(&view), static_cast<DriveTask*>(&first),
                          static_cast<DriveTask*>(&second), static_cast<DriveTask*>(&other)})
    tasks.add(task);
  EXPECT_EQ(tasks.find("vw", drive_with_id("\\\\.\\PhysicalDrive1")), &first);
  EXPECT_EQ(tasks.find("view", drive_with_id("\\\\.\\PhysicalDrive1")), &view);
  EXPECT_EQ(tasks.find("vw", drive_with_id("\\\\.\\PhysicalDrive10")), &other);
  EXPECT_EQ(tasks.find("VW", drive_with_id("\\\\.\\PhysicalDrive1")), nullptr);
  EXPECT_EQ(tasks.find("vw", drive_with_id("\\\\.\\physicaldrive1")), nullptr);
  EXPECT_EQ(tasks.find("wipe", drive_with_id("\\\\.\\PhysicalDrive1")), nullptr);
  EXPECT_EQ(DriveTasks().find("vw", drive_with_id("\\\\.\\PhysicalDrive1")), nullptr);
}

TEST(DriveTasks, SelectsOneTaskAndDeselectsEveryOther) {
  DriveTasks tasks;
  CountingTask a("vw", "\\\\.\\PhysicalDrive0");
  CountingTask b("vw", "\\\\.\\PhysicalDrive1");
  tasks.add(&a);
  tasks.add(&b);
  tasks.add(&a);

  tasks.select(&a); // in the list twice: selected twice
  EXPECT_EQ(a.selects, 2);
  EXPECT_EQ(a.deselects, 0);
  EXPECT_EQ(b.selects, 0);
  EXPECT_EQ(b.deselects, 1);

  tasks.select(nullptr);
  EXPECT_EQ(a.deselects, 2);
  EXPECT_EQ(b.deselects, 2);

  CountingTask outside("vw", "\\\\.\\PhysicalDrive2");
  tasks.select(&outside);
  EXPECT_EQ(outside.selects + outside.deselects, 0);
  EXPECT_EQ(a.deselects, 4);
  EXPECT_EQ(b.deselects, 3);
  EXPECT_EQ(a.selects + b.selects, 2);
}

} // namespace
