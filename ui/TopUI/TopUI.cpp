#include "TopUI/TopUI.h"

#include "Files.h"
#include "Format.h"
#include "Guarded.h"
#include "Locale.h"
#include "Program.h"
#include "ProgramConfig.h"
#include "Settings.h"
#include "SplashWindow.h"
#include "Translation.h"
#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"
#include "gtk/WidgetName.h"

#include <gdk/gdkkeysyms.h>

#include <string>

namespace {

constexpr int icons_per_row = 6;

} // namespace

TopUI::TopUI(DrivesFactory& drivesFactory, ViewModelFactory& viewModelFactory,
             WipeModelFactory& wipeModelFactory, DriveTasks& tasks, GtkWindow* window)
    : drivesFactory(drivesFactory), viewModelFactory(viewModelFactory),
      wipeModelFactory(wipeModelFactory), tasks(tasks), window(window) {
  for (int i = 0; i < icon_count; ++i)
    icons.push_back(std::make_unique<DriveIconUI>(true));

  gtk::Builder ui("TopUI/TopUI.ui");
  top.reset(ui.widget("widget"));
  gtk::set_widget_name(top.get(), "TopUI");
  tasksContainer = ui.get<GtkContainer>("tasksContainer", GTK_TYPE_CONTAINER);

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
  GtkWidget* multiwipe = ui.get<GtkWidget>("multiwipe", GTK_TYPE_BUTTON);
  gtk::set_widget_name(multiwipe, "multiwipe");

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
      {gettext("_Settings"), "settings", GDK_s, GDK_CONTROL_MASK, nullptr},
      {gettext("Wipe _Log"), "wipelog", 0, GdkModifierType(0), nullptr},
      {gettext("_About"), "about", 0, GdkModifierType(0), G_CALLBACK(on_about)},
  };
  for (const auto& item : items) {
    GtkWidget* menuItem = gtk_menu_item_new_with_mnemonic(item.text);
    gtk::set_accessible_id(menuItem, item.name);
    if (item.key != 0)
      gtk_widget_add_accelerator(menuItem, "activate", accelerators, item.key, item.modifiers,
                                 GTK_ACCEL_VISIBLE);
    if (item.handler != nullptr)
      g_signal_connect(menuItem, "activate", item.handler, this);
    else
      gtk_widget_set_sensitive(menuItem, FALSE);
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
  settings.set_hidden_drives(warned);
}

int TopUI::run() {
  gtk_main();
  return exitCode;
}

bool TopUI::quit() {
  const int code = confirm_quit(window, unfinished_wipes());
  if (code == quit_stay)
    return false;
  exitCode = code;
  gtk_main_quit();
  return true;
}

void TopUI::rescan() {
  drives_ = drivesFactory.create();
  show_drives();
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
      icon.set_state(task != nullptr ? task->state() : 0);
      icon.set_selected(task != nullptr ? task->selected() : 0);
      icon.set_percent(task != nullptr ? task->percent() : 0);
      ++shown;
    }
  }
  for (int i = shown; i < icon_count; ++i) {
    DriveIconUI& icon = *icons[i];
    icon.set_has_drive(false);
    icon.set_state(0);
    icon.set_selected(0);
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
}

void TopUI::end_tasks() {}

int TopUI::unfinished_wipes() const { return 0; }

template <typename Change> void TopUI::for_icons_of(DriveTask* task, Change change) {
  for (const std::unique_ptr<DriveIconUI>& icon : icons)
    if (icon->drive().id() == task->drive().id())
      change(*icon);
}

void TopUI::added(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) {
    icon.set_state(task->state());
    icon.set_selected(task->selected());
    icon.set_percent(task->percent());
  });
}

void TopUI::removed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [](DriveIconUI& icon) {
    icon.set_state(0);
    icon.set_selected(0);
    icon.set_percent(0);
  });
}

void TopUI::state_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_state(task->state()); });
}

void TopUI::selection_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_selected(task->selected()); });
}

void TopUI::percent_changed(DriveTasks&, DriveTask* task) {
  for_icons_of(task, [task](DriveIconUI& icon) { icon.set_percent(task->percent()); });
}

void TopUI::activated(DriveIconUI&) {}

void TopUI::show_help() {
  gtk_menu_popup(helpMenu, nullptr, nullptr, nullptr, nullptr, 0, gtk_get_current_event_time());
  gtk_menu_shell_select_first(GTK_MENU_SHELL(helpMenu), FALSE);
}

void TopUI::open_manual() {
  const std::string& file = program_config()["Manual File"].as_string();
  system_open(Locale::instance().path(file));
}

void TopUI::open_about() { show_splash(window, false); }

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

void TopUI::on_rescan(GtkButton*, gpointer self) {
  guarded("TopUI.cpp(563)", "TopUI.cpp(565)", [&] { static_cast<TopUI*>(self)->rescan(); });
}
