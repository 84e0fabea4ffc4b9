// The main window in a window of its own, over a table of drives and over models that record
// what they are asked and change state when a test says so.
#pragma once

#include "FakeViewModel.h"
#include "FakeWipeModel.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "MainLoop.h"
#include "ProgramConfig.h"
#include "Settings.h"
#include "TempDir.h"
#include "TopUI/TopUI.h"
#include "app/MainWindow.h"

#include <list>
#include <memory>
#include <string>
#include <vector>

// The drives of a table, as the factory makes them on each scan, with those it leaves out.
class TableDrivesFactory : public DrivesFactory {
public:
  std::vector<Drive> create() override {
    ++scans;
    return drives;
  }
  DriveScan scan() override { return {create(), unlisted}; }
  std::vector<Drive> drives;
  std::vector<UnlistedDrive> unlisted;
  int scans = 0;
};

// One fake wipe model per task, kept by drive, also after it is gone.
class RecordingWipeModels : public WipeModelFactory {
public:
  struct Made {
    std::string drive;
    FakeWipeModel* model;
    bool gone = false;
  };
  WipeModel* create(const Drive& drive) override {
    made.push_back({drive.id(), nullptr});
    made.back().model = new FakeWipeModel(&made.back().gone);
    return made.back().model;
  }
  // The newest model of the drive that is still alive; null when there is none.
  FakeWipeModel* of(const Drive& drive) {
    for (auto made = this->made.rbegin(); made != this->made.rend(); ++made)
      if (made->drive == drive.id() && !made->gone)
        return made->model;
    return nullptr;
  }
  std::list<Made> made;
};

class RecordingViewModels : public ViewModelFactory {
public:
  ViewModel* create(const Drive&) override {
    ++made;
    auto* model = new FakeViewModel;
    model->set_latency(latencyMs);
    return model;
  }
  int made = 0;
  // Above 0: the models answer every read by themselves after that many milliseconds.
  int latencyMs = 0;
};

// Drive `number` of the tables: model "Model <n>", serial "S<n>", (n + 1) million sectors.
inline Drive table_drive(int number, const std::string& warning = "") {
  Drive d;
  d.set_id("\\\\.\\PhysicalDrive" + std::to_string(number));
  d.set_sectors(1000000ULL * (number + 1));
  d.set_model("Model " + std::to_string(number));
  d.set_serial("S" + std::to_string(number));
  d.set_warning(warning);
  return d;
}

inline std::vector<Drive> table_drives(int count) {
  std::vector<Drive> list;
  for (int i = 0; i < count; ++i)
    list.push_back(table_drive(i));
  return list;
}

// A window drawn over a few turns of the main loop.
inline void settle_window() {
  run_loop([] { return false; }, 300 * 1000);
}

class TopUIFixture : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    config::Value& configuration = program_config();
    configuration.set("Program Name", "Corvana Wipe");
    configuration.set("Program Path", dir.path().string());
    configuration.set("Quit Icons", "");
    configuration["Desktop"] = false;
    window = make_main_window("Corvana Wipe", content);
  }
  void TearDown() override {
    if (top != nullptr)
      top->end_tasks();
    top.reset();
    if (window != nullptr)
      gtk_widget_destroy(window);
  }

  TopUI& make(const std::vector<Drive>& list) {
    factory.drives = list;
    top = std::make_unique<TopUI>(factory, viewModels, wipeModels, tasks, GTK_WINDOW(window));
    gtk_container_add(GTK_CONTAINER(content), top->widget());
    show_main_window(window);
    return *top;
  }

  // Presses the icon that shows `drive`.
  void press_icon(const Drive& drive) {
    for (int i = 0; i < TopUI::icon_count; ++i)
      if (top->icon(i).has_drive() && top->icon(i).drive().id() == drive.id()) {
        top->activated(top->icon(i));
        return;
      }
    ADD_FAILURE() << "no icon shows " << drive.id();
  }

  DriveIconUI* icon_of(const Drive& drive) {
    for (int i = 0; i < TopUI::icon_count; ++i)
      if (top->icon(i).has_drive() && top->icon(i).drive().id() == drive.id())
        return &top->icon(i);
    return nullptr;
  }

  // The window's size once it has become what it asks for and its parts have settled: the X
  // server's answer to a resize can take a while on a busy machine.
  GtkAllocation settled_size() {
    run_loop(
        [&] {
          flush_events();
          GtkRequisition wanted;
          gtk_widget_get_child_requisition(window, &wanted);
          return !gtk_events_pending() && window->allocation.width == wanted.width &&
                 window->allocation.height == wanted.height;
        },
        20 * G_USEC_PER_SEC);
    return window->allocation;
  }

  // The button `id` ("start", "stop", "blink", ...) of the drive's task.
  GtkWidget* task_button(const Drive& drive, const char* id) {
    GtkWidget* task = top->task_widget(drive);
    return task != nullptr ? widget_by_id(task, id) : nullptr;
  }

  TempDir dir;
  TableDrivesFactory factory;
  RecordingViewModels viewModels;
  RecordingWipeModels wipeModels;
  DriveTasks tasks;
  GtkWidget* window = nullptr;
  GtkWidget* content = nullptr;
  std::unique_ptr<TopUI> top;
};
