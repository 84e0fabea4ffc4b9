// Building and destroying 1,000 drive icons, each with its own builder, as panels that show an
// icon are opened and closed. Prints the time per icon and the heap in use after each hundred
// (goal: flat after the first hundred).
#include "GuiBench.h"

#include "DriveIconUI/DriveIconUI.h"
#include "Win32Process.h"

#include <chrono>

int main(int argc, char** argv) {
  if (!start_gui(argc, argv))
    return 0;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(window);
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_model("WDC WD10EZEX-08WN4A0");
  drive.set_sectors(1953525168);
  const std::size_t before = platform::heap_in_use();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= 1000; ++i) {
    {
      DriveIconUI icon(DriveIconUI::Look::WithLight);
      icon.set_drive(drive);
      icon.set_has_drive(true);
      icon.set_light(DriveLight::Busy);
      icon.set_percent(50);
      gtk_container_add(GTK_CONTAINER(window), icon.widget());
      handle_events();
    }
    handle_events();
    if (i % 100 == 0)
      std::printf("%5d icons: heap in use %+8.1f KiB\n", i,
                  (double(platform::heap_in_use()) - double(before)) / 1024);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("built, shown and destroyed 1000 icons in %.2f s, %.2f ms each\n", seconds,
              seconds * 1000 / 1000);
  gtk_widget_destroy(window);
  return 0;
}
