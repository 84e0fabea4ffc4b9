// The content of the program's one main window: up to 18 drive icons in three rows of six, the
// count of connected and hidden drives, the box that holds the open drive task's panels, and
// the buttons close, help (a menu), multi-wipe and rescan.
//
// It owns the drive list of the last scan, opens one task per drive (its sector view panel
// above its wipe panel) when the drive's icon is pressed, and keeps every icon in step with the
// drive's task through the DriveTasks list, whose callback it is. A task deletes itself when its
// wipe panel is closed; the ones still open when the program ends go with end_tasks.
//
// Operations on several tasks at once: blinking a drive (with the running wipes of the shown
// drives paused meanwhile), the multi-wipe dialog, and wiping every shown drive.
#pragma once

#include "DriveIconUI/DriveIconUI.h"
#include "DriveTasks.h"
#include "DrivesFactory.h"
#include "ViewModel.h"
#include "ViewUI/ViewUI.h"
#include "WipeModel.h"
#include "WipeOptions.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <vector>

class TopUI : public DriveTasks::Callback, public DriveIconUI::Callback, public ViewUI::Callback {
public:
  static constexpr int icon_count = 18;

  // Builds the window's content over `window` (parent of the dialogs it opens), becomes the
  // callback of `tasks` and scans the drives. None of the references is owned; all must outlive
  // this object. Throws what gtk::Builder and the drives factory throw.
  TopUI(DrivesFactory& drivesFactory, ViewModelFactory& viewModelFactory,
        WipeModelFactory& wipeModelFactory, DriveTasks& tasks, GtkWindow* window);
  ~TopUI() override;
  TopUI(const TopUI&) = delete;
  TopUI& operator=(const TopUI&) = delete;

  // The top widget, for the caller to put into the window.
  GtkWidget* widget() const { return top.get(); }

  // The first run (the settings hide no drive yet): hides every drive that carries a warning
  // and lets the operator change that in the hidden-drives dialog, then offers to save.
  void start();
  // Runs the main loop until the operator confirms quitting; returns the exit code chosen.
  int run();
  // Asks the quit question. True when the program is to end: the main loop has been told to
  // quit and run returns the chosen code.
  bool quit();
  // Ends the program with `code` without asking: the main loop is told to quit (run returns
  // `code`, at once when the loop does not run yet).
  void end(int code);
  // A new drive list from the factory, then show_drives.
  void rescan();
  // The drives that the settings do not hide, their icons and the count.
  void show_drives();

  // Shows or hides the task of `drive`, or opens one over the `sectors` sectors from `lba`.
  void open_task(const Drive& drive, std::uint64_t lba, std::uint64_t sectors);
  // Ends every open task, and with it its engine processes.
  void end_tasks();
  // The open tasks whose wipe has not finished (wiping, paused or waiting for the operator).
  int unfinished_wipes() const;

  const std::vector<Drive>& drives() const { return drives_; }
  const std::vector<Drive>& shown_drives() const { return shownDrives; }
  DriveIconUI& icon(int index) { return *icons.at(index); }
  // The panels of the drive's task, null when it has none.
  GtkWidget* task_widget(const Drive& drive) const;
  GtkMenu* help_menu() const { return helpMenu; }

  // DriveTasks::Callback: each icon showing the task's drive follows the task.
  void added(DriveTasks& tasks, DriveTask* task) override;
  void removed(DriveTasks& tasks, DriveTask* task) override;
  void light_changed(DriveTasks& tasks, DriveTask* task) override;
  void selection_changed(DriveTasks& tasks, DriveTask* task) override;
  void percent_changed(DriveTasks& tasks, DriveTask* task) override;

  // DriveIconUI::Callback: a press on an icon with a drive opens, shows or hides its task.
  void activated(DriveIconUI& icon) override;

  // ViewUI::Callback: lets the panel's drive blink until the operator closes the box, with
  // the running wipes of the shown drives paused meanwhile; afterwards exactly the wipes that
  // the blink paused go on. Throws what making the engine client throws.
  void blink(ViewUI& panel) override;
  // Whether a blink runs (its box is open).
  bool blinking() const { return blinkRuns; }

  // The multi-wipe dialog over the shown drives, and what it asks for: start a new wipe, or
  // stop, pause or resume the running one, on every ticked drive where that fits.
  void multi_wipe();
  // After one confirmation, a new wipe with `options` on every shown drive.
  void wipe_all(const WipeOptions& options);

private:
  template <typename Change> void for_icons_of(DriveTask* task, Change change);

  void open_manual();
  void open_about();
  void open_wipe_log();
  void open_settings();
  void show_help();
  // A new task over the whole drive, whose wipe starts at once.
  void start_new_wipe(const Drive& drive);
  // Every open task whose drive's path now belongs to another disk refuses to arm a wipe.
  void bind_tasks_to_drives();

  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);
  static void on_close(GtkButton*, gpointer self);
  static void on_help(GtkButton*, gpointer self);
  static void on_rescan(GtkButton*, gpointer self);
  static void on_manual(GtkMenuItem*, gpointer self);
  static void on_about(GtkMenuItem*, gpointer self);
  static void on_wipe_log(GtkMenuItem*, gpointer self);
  static void on_settings(GtkMenuItem*, gpointer self);
  static void on_multi_wipe(GtkButton*, gpointer self);

  DrivesFactory& drivesFactory;
  ViewModelFactory& viewModelFactory;
  WipeModelFactory& wipeModelFactory;
  DriveTasks& tasks;
  std::vector<Drive> drives_;
  // The drives of the machine that the list leaves out, and why; the drive count's tooltip.
  std::vector<UnlistedDrive> unlisted;
  std::vector<Drive> shownDrives;
  std::vector<std::unique_ptr<DriveIconUI>> icons;
  GtkWindow* window;
  gulong deleteHandler = 0;
  GtkMenu* helpMenu = nullptr;
  GtkLabel* label = nullptr;
  GtkContainer* tasksContainer = nullptr;
  GtkScrolledWindow* tasksScroller = nullptr;
  int exitCode = -1;
  bool quitConfirmed = false;
  bool blinkRuns = false;
  gtk::WidgetRef menuRef;
  // Last, so that it goes first: no handler of the window's widgets runs on a half-gone object.
  gtk::WidgetRef top;
};
