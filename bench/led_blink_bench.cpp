// The main window's worst case for blinking: all 18 drive icons shown with a blinking light
// (six busy, six finished, six waiting), for 10 seconds of the main loop. Prints the processor
// time the program used, as a share of one core (goal: under 1 %). The X server's own drawing
// is not counted.
#include "GuiBench.h"

#include "DriveIconUI/DriveIconUI.h"

#include <ctime>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
  if (!start_gui(argc, argv))
    return 0;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "TopUI");
  GtkWidget* rows = gtk_vbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), rows);
  std::vector<std::unique_ptr<DriveIconUI>> icons;
  const DriveLight lights[] = {DriveLight::Busy, DriveLight::Finished, DriveLight::Waiting};
  for (int row = 0; row < 3; ++row) {
    GtkWidget* line = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(rows), line, TRUE, FALSE, 0);
    for (int column = 0; column < 6; ++column) {
      auto icon = std::make_unique<DriveIconUI>(DriveIconUI::Look::WithLight);
      Drive drive;
      drive.set_id("\\\\.\\PhysicalDrive" + std::to_string(row * 6 + column));
      drive.set_sectors(1953525168);
      icon->set_drive(drive);
      icon->set_has_drive(true);
      icon->set_light(lights[(row * 6 + column) % 3]);
      icon->set_percent(10 * column);
      gtk_box_pack_start(GTK_BOX(line), icon->widget(), TRUE, FALSE, 0);
      icons.push_back(std::move(icon));
    }
  }
  gtk_widget_show_all(rows);
  gtk_widget_show(window);
  handle_events();

  const double seconds = 10;
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_timeout_add(
      guint(seconds * 1000),
      [](gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return FALSE;
      },
      loop);
  const std::clock_t start = std::clock();
  g_main_loop_run(loop);
  const double used = double(std::clock() - start) / CLOCKS_PER_SEC;
  g_main_loop_unref(loop);
  std::printf("18 blinking lights for %.0f s: %.3f s of processor time, %.2f %% of one core\n",
              seconds, used, 100 * used / seconds);
  icons.clear();
  gtk_widget_destroy(window);
  return 0;
}
