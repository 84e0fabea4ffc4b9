#include "TopUI/TopUI.h"

#include "DebugLog.h"
#include "DriveIdentity.h"
#include "DriverModel.h"
#include "Files.h"
#include "Format.h"
#include "GLibOwners.h"
#include "Guarded.h"
#include "HiddenDrivesUI/HiddenDrivesUI.h"
#include "Locale.h"
#include "MainLog.h"
#include "MainLogUI/MainLogUI.h"
#include "MultiWipeUI/MultiWipeUI.h"
#include "ProgramConfig.h"
#include "Settings.h"
#include "SettingsUI/SettingsUI.h"
#include "Strings.h"
#include "Translation.h"
#include "WipeUI/WipeUI.h"
#include "app/Program.h"
#include "app/SplashWindow.h"
#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"
#include "gtk/MessageBox.h"
#include "gtk/Wheel.h"
#include "gtk/WidgetName.h"
#include "gtk/WidgetRef.h"
#include "gtk/WorkArea.h"
#include "parts/WipeConfirmation.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>

namespace {

constexpr int icons_per_row = 6;

// What the operator works with on one drive: its sector view panel above its wipe panel. The
// task follows its wipe panel's light and percent, so that the drive's icon does, and deletes
// itself when the wipe panel is closed.
class VWTask : public DriveTask, public WipeUI::Callback {
public:
  // Registers the task as the only one shown; the caller puts box() into the main window.
  VWTask(ViewModelFactory& viewModels, WipeModelFactory& wipeModels, DriveTasks& tasks,
         const Drive& drive, std::uint64_t lba, std::uint64_t sectors, TopUI& top,
         GtkWindow* window)
      : DriveTask("vw", drive), tasks(tasks), top(top), view(viewModels, drive, lba, sectors),
        wipe(wipeModels, drive, lba, sectors, GTK_WIDGET(window)) {
    view.set_callback(&top);
    wipe.set_callback(this);
    box.reset(gtk_vbox_new(FALSE, 0));
    gtk::set_widget_name(box.get(), "VWTask");
    // Height that the window has to spare goes to the view (its dump), never to the wipe panel.
    gtk_box_pack_start(GTK_BOX(box.get()), view.widget(), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box.get()), wipe.widget(), FALSE, FALSE, 0);
    tasks.select(nullptr);
    tasks.add(this);
    select();
    set_light(wipe.light());
    tasks.notify_light(this);
  }

  GtkWidget* widget() const { return box.get(); }
  WipeUI& wipe_panel() { return wipe; }

  // Shows the panels, or hides them when they are shown.
  void select() override {
    if (shown) {
      deselect();
      return;
    }
    gtk_widget_show(box.get());
    view.select();
    wipe.select();
    set_selected(true);
    tasks.notify_selected(this);
    shown = true;
  }

  // A hidden task takes no room in the window.
  void deselect() override {
    if (std::exchange(driveKeptInView, false))
      gtk::let_go_of_view(box.get());
    gtk_widget_hide(box.get());
    view.deselect();
    wipe.deselect();
    set_selected(false);
    tasks.notify_selected(this);
    shown = false;
  }

  // The wipe panel's CLOSE: the task goes, and its panels and engines with it.
  void close() override {
    tasks.remove(this);
    delete this;
  }

  void light_changed() override {
    if (!blinkShown) {
      set_light(wipe.light());
      tasks.notify_light(this);
    }
    if (shown && wipe.wipe_state() != WipeModel::State::Idle)
      keep_drive_in_view();
    if (resumeAfterBlink && !top.blinking())
      resume_after_blink();
  }

  void percent_changed() override {
    set_percent(wipe.percent());
    tasks.notify_percent(this);
  }

  void area_wiped(std::uint64_t lba, std::uint64_t sectors) override {
    view.area_wiped(lba, sectors);
  }

  void wipe_all(const WipeOptions& options) override { top.wipe_all(options); }

  // A blink of the task's drive: the blinking yellow light, then the wipe's light again.
  void show_blink(bool on) {
    blinkShown = on;
    set_light(on ? DriveLight::Busy : wipe.light());
    tasks.notify_light(this);
  }

  // A blink paused the running wipe: it goes on when the blink is over, also when the engine
  // confirms the pause only afterwards. A pause of the operator's own is never undone.
  void pause_for_blink() {
    resumeAfterBlink = true;
    wipe.pause();
  }

  // Resumes the wipe when a blink paused it and the engine has confirmed the pause.
  void resume_after_blink() {
    if (!resumeAfterBlink)
      return;
    switch (wipe.wipe_state()) {
    case WipeModel::State::Paused:
      // Not from inside the model's own notification.
      resumeAfterBlink = false;
      resume.reset(g_idle_add(on_resume, this));
      return;
    case WipeModel::State::Wiping: return; // the engine has not confirmed the pause yet
    default: resumeAfterBlink = false; return;
    }
  }

  // Why START may not arm a wipe (empty: it may).
  void refuse_start(const std::string& reason) { wipe.refuse_start(reason); }

  // Where the task area has to scroll, the shown task comes into view with what the operator
  // needs next: the wipe panel whole to set a wipe up; once a wipe is armed, the drive's header
  // with the wipe's status and buttons, so that CONTINUE is never pressed on a drive out of
  // sight. That stays until the task is hidden, so that the buttons do not move under the
  // pointer as the wipe goes on.
  void come_into_view() {
    if (wipe.wipe_state() != WipeModel::State::Idle)
      keep_drive_in_view();
    else
      gtk::bring_into_view(wipe.widget());
  }

private:
  void keep_drive_in_view() {
    if (std::exchange(driveKeptInView, true))
      return;
    gtk::keep_in_view(box.get(), wipe.action_row());
  }

  static gboolean on_resume(gpointer self) {
    auto& task = *static_cast<VWTask*>(self);
    task.resume.forget();
    guarded("TopUI.cpp(625)", "TopUI.cpp(627)", [&] {
      if (task.wipe.wipe_state() == WipeModel::State::Paused)
        task.wipe.start();
    });
    return FALSE;
  }

  DriveTasks& tasks;
  TopUI& top;
  // The wipe panel goes before the view panel, and the box before both.
  ViewUI view;
  WipeUI wipe;
  bool shown = false;
  // Whether the drive's header is kept in view with the wipe's buttons.
  bool driveKeptInView = false;
  bool blinkShown = false;
  bool resumeAfterBlink = false;
  Source resume;
  gtk::WidgetRef box;
};

VWTask* vw_task(const DriveTasks& tasks, const Drive& drive) {
  return dynamic_cast<VWTask*>(tasks.find("vw", drive));
}

// A task comes into view from its top; where the task area has to scroll, as far down as it
// takes to show what the task needs in view.
void show_from_top(GtkScrolledWindow* scroller, VWTask* task) {
  GtkAdjustment* scroll = gtk_scrolled_window_get_vadjustment(scroller);
  gtk_adjustment_set_value(scroll, gtk_adjustment_get_lower(scroll));
  if (task != nullptr && task->selected())
    task->come_into_view();
}

// Puts a new task into the task area, in view.
void add_task(GtkContainer* container, GtkScrolledWindow* scroller, VWTask* task) {
  gtk_container_add(container, task->widget());
  // Scrolling the task area with the wheel changes no setting on the way.
  gtk::keep_wheel_from_values(task->widget());
  show_from_top(scroller, task);
}

// Places a menu below the button it is attached to, its right edge at the button's (above the
// button where the screen has no room below): opened by keyboard, it would otherwise open
// wherever the pointer happens to be.
void below_its_button(GtkMenu* menu, gint* x, gint* y, gboolean* pushIn, gpointer) {
  *pushIn = TRUE;
  GtkWidget* button = gtk_menu_get_attach_widget(menu);
  if (button == nullptr || !gtk_widget_get_realized(button))
    return;
  GtkRequisition size;
  gtk_widget_size_request(GTK_WIDGET(menu), &size);
  gint left = 0, top = 0;
  gdk_window_get_origin(gtk_widget_get_window(button), &left, &top);
  if (!gtk_widget_get_has_window(button)) {
    left += button->allocation.x;
    top += button->allocation.y;
  }
  GdkScreen* screen = gtk_widget_get_screen(button);
  GdkRectangle monitor;
  gdk_screen_get_monitor_geometry(
      screen, gdk_screen_get_monitor_at_window(screen, gtk_widget_get_window(button)), &monitor);
  *x = std::max(monitor.x, std::min(left + button->allocation.width - size.width,
                                    monitor.x + monitor.width - size.width));
  *y = top + button->allocation.height;
  if (*y + size.height > monitor.y + monitor.height && top - size.height >= monitor.y)
    *y = top - size.height;
}

// Told whether the blink's engine could start at all.
class BlinkWatch : public DriverControl::View {
public:
  void on_failure(const std::string& text) override { failure = text; }
  std::string failure;
};

} // namespace

TopUI::TopUI(DrivesFactory& drivesFactory, ViewModelFactory& viewModelFactory,
             WipeModelFactory& wipeModelFactory, DriveTasks& tasks, GtkWindow* window)
    : drivesFactory(drivesFactory), viewModelFactory(viewModelFactory),
      wipeModelFactory(wipeModelFactory), tasks(tasks), window(window) {
  for (int i = 0; i < icon_count; ++i)
    icons.push_back(std::make_unique<DriveIconUI>(DriveIconUI::Look::WithLight));

  gtk::Builder ui("TopUI/TopUI.ui");
  top.reset(ui.widget("widget"));
  gtk::set_widget_name(top.get(), "TopUI");
  tasksContainer = ui.get<GtkContainer>("tasksContainer", GTK_TYPE_CONTAINER);
  // On a screen too low for the window with a task, the task scrolls; the keyboard's focus
  // scrolls it into view.
  tasksScroller = ui.get<GtkScrolledWindow>("tasksScroller", GTK_TYPE_SCROLLED_WINDOW);
  gtk_container_set_focus_vadjustment(tasksContainer,
                                      gtk_scrolled_window_get_vadjustment(tasksScroller));
  gtk::fit_to_work_area(window, tasksScroller);

  GtkWidget* rows = gtk_vbox_new(FALSE, 0);
  for (int row = 0; row < icon_count / icons_per_row; ++row) {
    GtkWidget* line = gtk_hbox_new(FALSE, 0);
    for (int column = 0; column < icons_per_row; ++column) {
      const int index = row * icons_per_row + column;
      DriveIconUI& icon = *icons[index];
      icon.set_callback(this);
      gtk::set_accessible_id(icon.widget(), ("drive-" + std::to_string(index)).c_str());
      gtk_box_pack_start(GTK_BOX(line), icon.widget(), TRUE, FALSE, 0);
    }
    gtk_widget_show(line);
    gtk_box_pack_start(GTK_BOX(rows), line, TRUE, FALSE, 0);
  }
  // Not gtk_widget_show_all: an icon shows only the parts of its state.
  gtk_widget_show(rows);
  gtk_container_add(ui.get<GtkContainer>("drivesContainer", GTK_TYPE_CONTAINER), rows);

  GtkWidget* close = ui.get<GtkWidget>("close", GTK_TYPE_BUTTON);
  gtk::set_widget_name(close, "close");
  g_signal_connect(close, "clicked", G_CALLBACK(on_close), this);
  GtkWidget* help = ui.get<GtkWidget>("help", GTK_TYPE_BUTTON);
  gtk::set_widget_name(help, "help");
  g_signal_connect(help, "clicked", G_CALLBACK(on_help), this);
  // The two buttons that show only a picture, named for assistive tools.
  atk_object_set_name(gtk_widget_get_accessible(close), gettext("Quit"));
  atk_object_set_name(gtk_widget_get_accessible(help), gettext("Help"));
  GtkWidget* multiwipe = ui.get<GtkWidget>("multiwipe", GTK_TYPE_BUTTON);
  gtk::set_widget_name(multiwipe, "multiwipe");
  g_signal_connect(multiwipe, "clicked", G_CALLBACK(on_multi_wipe), this);

  GtkAccelGroup* accelerators = gtk_accel_group_new();
  gtk_window_add_accel_group(window, accelerators);
  g_object_unref(accelerators);

  GtkWidget* menu = gtk_menu_new();
  menuRef.reset(menu);
  gtk::set_widget_name(menu, "cvw-menu");
  helpMenu = GTK_MENU(menu);
  gtk_menu_set_accel_group(helpMenu, accelerators);
  const struct {
    const char* text;
    const char* name;
    guint key;
    GdkModifierType modifiers;
    GCallback handler;
  } items[] = {
      {gettext("_Manual"), "manual", GDK_F1, GdkModifierType(0), G_CALLBACK(on_manual)},
      {gettext("_Settings"), "settings", GDK_s, GDK_CONTROL_MASK, G_CALLBACK(on_settings)},
      {gettext("Wipe _Log"), "wipelog", 0, GdkModifierType(0), G_CALLBACK(on_wipe_log)},
      {gettext("_About"), "about", 0, GdkModifierType(0), G_CALLBACK(on_about)},
  };
  for (const auto& item : items) {
    GtkWidget* menuItem = gtk_menu_item_new_with_mnemonic(item.text);
    gtk::set_accessible_id(menuItem, item.name);
    if (item.key != 0)
      gtk_widget_add_accelerator(menuItem, "activate", accelerators, item.key, item.modifiers,
                                 GTK_ACCEL_VISIBLE);
    g_signal_connect(menuItem, "activate", item.handler, this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), menuItem);
  }
  gtk_widget_show_all(menu);
  // Attached, so that the accelerators of its items work while it is not shown.
  gtk_menu_attach_to_widget(helpMenu, help, nullptr);

  GtkWidget* rescanButton = ui.get<GtkWidget>("rescan", GTK_TYPE_BUTTON);
  gtk::set_widget_name(rescanButton, "rescan");
  g_signal_connect(rescanButton, "clicked", G_CALLBACK(on_rescan), this);

  label = ui.get<GtkLabel>("label", GTK_TYPE_LABEL);
  gtk::set_widget_name(GTK_WIDGET(label), "label");

  deleteHandler = g_signal_connect(window, "delete-event", G_CALLBACK(on_delete), this);
  gtk::keep_wheel_from_values(top.get());
  tasks.set_callback(this);
  rescan();
}

TopUI::~TopUI() {
  tasks.set_callback(nullptr);
  gtk_menu_detach(helpMenu);
  if (deleteHandler != 0)
    g_signal_handler_disconnect(window, deleteHandler);
}

void TopUI::start() {
  Settings& settings = Settings::instance();
  if (!settings.hidden_drives().empty())
    return;
  std::vector<Drive> warned;
  for (const Drive& drive : drives_)
    if (!drive.warning().empty())
      warned.push_back(drive);
  // In memory at once, whatever the operator does next.
  settings.set_hidden_drives(warned);

  HiddenDrivesUI dialog(drives_, nullptr);
  if (!dialog.edit(settings))
    return;
  show_drives();
  offer_to_save_settings(settings, dialog.window());
}

int TopUI::run() {
  if (!quitConfirmed)
    gtk_main();
  quitConfirmed = false;
  return exitCode;
}

bool TopUI::quit() {
  const QuitCode code = confirm_quit(window, unfinished_wipes());
  if (code == QuitCode::Stay)
    return false;
  end(exit_code(code));
  return true;
}

void TopUI::end(int code) {
  exitCode = code;
  quitConfirmed = true;
  // Quitting may be asked before the main loop runs (from a dialog of start-up, through an
  // assistive tool): run then returns at once.
  if (gtk_main_level() > 0)
    gtk_main_quit();
}

void TopUI::rescan() {
  DriveScan scan = drivesFactory.scan();
  drives_ = std::move(scan.drives);
  unlisted = std::move(scan.unlisted);
  bind_tasks_to_drives();
  show_drives();
}

void TopUI::bind_tasks_to_drives() {
  for (DriveTask* task : tasks.tasks()) {
    auto* vw = dynamic_cast<VWTask*>(task);
    if (vw == nullptr)
      continue;
    const Drive& opened = vw->drive();
    for (const Drive& now : drives_) {
      if (now.id() != opened.id())
        continue;
      vw->refuse_start(same_disk(opened, now) ? std::string() : drive_change_text(opened, now));
    }
  }
}

void TopUI::show_drives() {
  const Settings& settings = Settings::instance();
  shownDrives.clear();
  int shown = 0;
  for (const Drive& drive : drives_) {
    if (settings.is_hidden(drive))
      continue;
    shownDrives.push_back(drive);
    if (shown < icon_count) {
      DriveIconUI& icon = *icons[shown];
      icon.set_has_drive(true);
      icon.set_drive(drive);
      const DriveTask* task = tasks.find("vw", drive);
      icon.set_light(task != nullptr ? task->light() : DriveLight::None);
      icon.set_selected(task != nullptr && task->selected());
      icon.set_percent(task != nullptr ? task->percent() : 0);
      ++shown;
    }
  }
  for (int i = shown; i < icon_count; ++i) {
    DriveIconUI& icon = *icons[i];
    icon.set_has_drive(false);
    icon.set_light(DriveLight::None);
    icon.set_selected(false);
    icon.set_percent(0);
  }

  std::string text = format(gettext("CONNECTED DRIVES = %1"), std::to_string(drives_.size()));
  const std::size_t hidden = drives_.size() - shownDrives.size();
  if (hidden != 0)
    text +=
        " (" +
        format(ngettext("%1 DRIVE LOCKED", "%1 DRIVES LOCKED", static_cast<unsigned long>(hidden)),
               std::to_string(hidden)) +
        ")";
  gtk_label_set_text(label, text.c_str());

  // The count says nothing of the disks that could not be had: its tooltip names them.
  std::string why;
  for (const UnlistedDrive& drive : unlisted)
    why += "\n" + (drive.systemName.empty() ? drive.id : drive.systemName + " (" + drive.id + ")") +
           ": " + drive.reason;
  if (why.empty())
    gtk_widget_set_tooltip_text(GTK_WIDGET(label), nullptr);
  else
    gtk_widget_set_tooltip_text(
        GTK_WIDGET(label),
        valid_utf8(std::string(gettext("Some disks could not be opened:")) + why).c_str());
}

void TopUI::open_task(const Drive& drive, std::uint64_t lba, std::uint64_t sectors) {
  if (DriveTask* task = tasks.find("vw", drive)) {
    tasks.select(task);
    show_from_top(tasksScroller, dynamic_cast<VWTask*>(task));
    return;
  }
  VWTask* task = gtk::telling_interface_errors(window, [&] {
    return new VWTask(viewModelFactory, wipeModelFactory, tasks, drive, lba, sectors, *this,
                      window);
  });
  add_task(tasksContainer, tasksScroller, task);
}

GtkWidget* TopUI::task_widget(const Drive& drive) const {
  VWTask* task = vw_task(tasks, drive);
  return task != nullptr ? task->widget() : nullptr;
}

void TopUI::end_tasks() {
  // A copy: each task takes itself out of the list.
  const std::vector<DriveTask*> open = tasks.tasks();
  for (DriveTask* task : open)
    if (auto* vw = dynamic_cast<VWTask*>(task))
      vw->close();
}

int TopUI::unfinished_wipes() const {
  int count = 0;
  for (DriveTask* task : tasks.tasks())
    if (auto* vw = dynamic_cast<VWTask*>(task)) {
      const WipeModel::State state = vw->wipe_panel().wipe_state();
      if (state == WipeModel::State::Wiping || state == WipeModel::State::Paused ||
          state == WipeModel::State::Waiting)
        ++count;
    }
  return count;
}

void TopUI::blink(ViewUI& panel) {
  const Drive drive = panel.drive();
  // The running wipes of the shown drives rest while the drive blinks.
  for (const Drive& shown : shownDrives)
    if (VWTask* task = vw_task(tasks, shown))
      if (task->wipe_panel().wipe_state() == WipeModel::State::Wiping)
        task->pause_for_blink();

  struct Blink {
    TopUI& top;
    const Drive& drive;
    explicit Blink(TopUI& top, const Drive& drive) : top(top), drive(drive) {
      top.blinkRuns = true;
      if (VWTask* task = vw_task(top.tasks, drive))
        task->show_blink(true);
    }
    // Also when the blink fails: the paused wipes go on.
    ~Blink() {
      top.blinkRuns = false;
      if (VWTask* task = vw_task(top.tasks, drive))
        task->show_blink(false);
      const std::vector<DriveTask*> open = top.tasks.tasks();
      for (DriveTask* task : open)
        if (auto* vw = dynamic_cast<VWTask*>(task))
          guarded("TopUI.cpp(480)", "TopUI.cpp(482)", [&] { vw->resume_after_blink(); });
    }
  } duringBlink(*this, drive);

  std::unique_ptr<DriverModel> driver = make_driver_model(program_config(), drive);
  BlinkWatch watch;
  driver->add_view(&watch);
  send_blink_command(*driver);
  if (!watch.failure.empty())
    gtk::message_box(gtk::MessageKind::Error, watch.failure, window);
  else
    gtk::message_box(gtk::MessageKind::Information, gettext("Blinking...\n(wipes are paused)"),
                     window);
  driver.reset();
}

void TopUI::multi_wipe() {
  // A copy: tasks come and go as the loop below runs.
  const std::vector<Drive> drives = shownDrives;
  MultiWipeUI dialog =
      gtk::telling_interface_errors(window, [&] { return MultiWipeUI(drives, window); });
  for (std::size_t i = 0; i < drives.size(); ++i) {
    VWTask* task = vw_task(tasks, drives[i]);
    dialog.set_selected(i, task == nullptr ||
                               task->wipe_panel().wipe_state() == WipeModel::State::Idle);
  }
  const MultiWipeUI::Action action = dialog.run();
  if (action == MultiWipeUI::Action::None)
    return;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    if (!dialog.is_selected(i))
      continue;
    if (action == MultiWipeUI::Action::Start) {
      start_new_wipe(drives[i]);
      continue;
    }
    VWTask* task = vw_task(tasks, drives[i]);
    if (task == nullptr)
      continue;
    WipeUI& wipe = task->wipe_panel();
    const WipeModel::State state = wipe.wipe_state();
    if (action == MultiWipeUI::Action::Stop && state != WipeModel::State::Idle)
      wipe.stop();
    else if (action == MultiWipeUI::Action::Pause && state == WipeModel::State::Wiping)
      wipe.pause();
    else if (action == MultiWipeUI::Action::Resume && state == WipeModel::State::Paused)
      wipe.start();
  }
}

void TopUI::wipe_all(const WipeOptions& options) {
  std::string warnings;
  for (const Drive& drive : shownDrives)
    if (!drive.warning().empty())
      warnings += (warnings.empty() ? "" : "\n") + drive_warning_text(drive);
  if (!confirm_unrecorded_wipe(GTK_WIDGET(window)) ||
      !confirm_wipe(drives_to_wipe_text(shownDrives), warnings, GTK_WIDGET(window)))
    return;
  Settings::instance().set_wipe_options(options);
  // A copy: new tasks come and go as the loop runs.
  const std::vector<Drive> drives = shownDrives;
  for (const Drive& drive : drives)
    start_new_wipe(drive);
}

void TopUI::start_new_wipe(const Drive& drive) {
  if (VWTask* task = vw_task(tasks, drive))
    task->close();
  VWTask* task = gtk::telling_interface_errors(window, [&] {
    return new VWTask(viewModelFactory, wipeModelFactory, tasks, drive, 0, drive.sectors(), *this,
                      window);
  });
  add_task(tasksContainer, tasksScroller, task);
  task->wipe_panel().arm(WipeUI::Arm::AndStart);
}

template <typename Change> void TopUI::for_icons_of(DriveTask* task, Change change) {
  for (const std::unique_ptr<DriveIconUI>& icon : icons)
    if (icon->drive().id() == task->drive().id())
      change(*icon);
}

void TopUI::added(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) {
    icon.set_light(task->light());
    icon.set_selected(task->selected());
    icon.set_percent(task->percent());
  });
}

void TopUI::removed(DriveTasks&, DriveTask* task) {
  // The keyboard's focus in the closing task would be lost with it: it goes to the drive's icon.
  auto* vw = dynamic_cast<VWTask*>(task);
  GtkWidget* focus = gtk_window_get_focus(window);
  if (vw != nullptr && focus != nullptr && gtk_widget_is_ancestor(focus, vw->widget()))
    for (const std::unique_ptr<DriveIconUI>& icon : icons)
      if (icon->has_drive() && icon->drive().id() == task->drive().id()) {
        gtk_widget_grab_focus(icon->focus_widget());
        break;
      }
  for_icons_of(task, [](DriveIconUI& icon) {
    icon.set_light(DriveLight::None);
    icon.set_selected(false);
    icon.set_percent(0);
  });
}

void TopUI::light_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_light(task->light()); });
}

void TopUI::selection_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_selected(task->selected()); });
}

void TopUI::percent_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_percent(task->percent()); });
}

void TopUI::activated(DriveIconUI& icon) {
  if (icon.has_drive())
    open_task(icon.drive(), 0, icon.drive().sectors());
}

void TopUI::show_help() {
  gtk_menu_popup(helpMenu, nullptr, nullptr, below_its_button, nullptr, 0,
                 gtk_get_current_event_time());
  gtk_menu_shell_select_first(GTK_MENU_SHELL(helpMenu), FALSE);
}

void TopUI::open_manual() {
  const std::string& file = program_config()["Manual File"].as_string();
  const std::string path = Locale::instance().path(file);
  if (system_open(path))
    return;
  // Opening happens out of sight: without a word here F1 would seem to do nothing at all.
  const char* text =
      g_file_test(path.c_str(), G_FILE_TEST_EXISTS)
          ? gettext("The manual %1 cannot be opened: no program on this system opens it.")
          : gettext("The manual %1 is missing.");
  gtk::message_box(gtk::MessageKind::Error, format(text, path), window);
}

void TopUI::open_about() { show_splash(window, SplashUse::About); }

void TopUI::open_settings() {
  SettingsUI dialog =
      gtk::telling_interface_errors(window, [&] { return SettingsUI(drives_, window); });
  if (dialog.run())
    show_drives(); // the hidden drives may have changed
}

void TopUI::open_wipe_log() {
  MainLogUI history =
      gtk::telling_interface_errors(window, [&] { return MainLogUI(MainLog::instance(), window); });
  history.run();
}

gboolean TopUI::on_delete(GtkWidget*, GdkEvent*, gpointer self) {
  // The window stays in any case: start-up destroys it once the tasks have ended.
  guarded("TopUI.cpp(376)", "TopUI.cpp(378)", [&] { static_cast<TopUI*>(self)->quit(); });
  return TRUE;
}

void TopUI::on_close(GtkButton*, gpointer self) {
  guarded("TopUI.cpp(387)", "TopUI.cpp(389)", [&] { static_cast<TopUI*>(self)->quit(); });
}

void TopUI::on_help(GtkButton*, gpointer self) {
  guarded("TopUI.cpp(406)", "TopUI.cpp(408)", [&] { static_cast<TopUI*>(self)->show_help(); });
}

void TopUI::on_manual(GtkMenuItem*, gpointer self) {
  guarded("TopUI.cpp(418)", "TopUI.cpp(420)", [&] { static_cast<TopUI*>(self)->open_manual(); });
}

void TopUI::on_about(GtkMenuItem*, gpointer self) {
  guarded("TopUI.cpp(552)", "TopUI.cpp(554)", [&] { static_cast<TopUI*>(self)->open_about(); });
}

void TopUI::on_settings(GtkMenuItem*, gpointer self) {
  guarded("TopUI.cpp(432)", "TopUI.cpp(434)", [&] { static_cast<TopUI*>(self)->open_settings(); });
}

void TopUI::on_multi_wipe(GtkButton*, gpointer self) {
  guarded("TopUI.cpp(523)", "TopUI.cpp(525)", [&] { static_cast<TopUI*>(self)->multi_wipe(); });
}

void TopUI::on_wipe_log(GtkMenuItem*, gpointer self) {
  guarded("TopUI.cpp(444)", "TopUI.cpp(446)", [&] { static_cast<TopUI*>(self)->open_wipe_log(); });
}

void TopUI::on_rescan(GtkButton*, gpointer self) {
  guarded("TopUI.cpp(563)", "TopUI.cpp(565)", [&] { static_cast<TopUI*>(self)->rescan(); });
}
