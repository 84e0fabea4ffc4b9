// Every interface file of the program loads, and holds every object its code looks up, with
// the type the code expects: what editing a window's file by hand can break. A window that
// comes with a file adds its rows here.
#include "gtk/Builder.h"

#include "GuiEnvironment.h"

#include <string>
#include <vector>

namespace {

struct Lookup {
  std::string name;
  GType (*type)();
};

struct InterfaceFile {
  const char* file;
  std::vector<Lookup> objects;
};

std::vector<InterfaceFile> interface_files() {
  std::vector<InterfaceFile> files = {
      {"DriveIconUI/DriveIconUI.ui",
       {{"widget", gtk_widget_get_type},
        {"eventbox", gtk_event_box_get_type},
        {"leds", gtk_widget_get_type},
        {"led-none", gtk_image_get_type},
        {"led-green", gtk_image_get_type},
        {"led-yellow", gtk_image_get_type},
        {"led-red", gtk_image_get_type},
        {"selected", gtk_widget_get_type},
        {"drive", gtk_widget_get_type},
        {"bay", gtk_widget_get_type},
        {"size", gtk_label_get_type},
        {"percent-fixed", gtk_widget_get_type}}},
      {"DriveMiniUI/DriveMiniUI.ui",
       {{"widget", gtk_widget_get_type},
        {"model", gtk_label_get_type},
        {"serial", gtk_label_get_type}}},
      {"TopUI/TopUI.ui",
       {{"widget", gtk_widget_get_type},
        {"tasksContainer", gtk_container_get_type},
        {"drivesContainer", gtk_container_get_type},
        {"close", gtk_button_get_type},
        {"help", gtk_button_get_type},
        {"multiwipe", gtk_button_get_type},
        {"rescan", gtk_button_get_type},
        {"label", gtk_label_get_type}}},
  };
  for (int i = 0; i < 10; ++i)
    files[0].objects.push_back({"percent-on-" + std::to_string(i), gtk_widget_get_type});
  return files;
}

using InterfaceFilesTest = GuiTest;

} // namespace

TEST_F(InterfaceFilesTest, EveryFileHoldsWhatItsWindowLooksUp) {
  for (const InterfaceFile& file : interface_files()) {
    SCOPED_TRACE(file.file);
    try {
      gtk::Builder ui(file.file);
      for (const Lookup& lookup : file.objects) {
        SCOPED_TRACE(lookup.name);
        EXPECT_NO_THROW(ui.get<GObject>(lookup.name.c_str(), lookup.type()));
      }
    } catch (const std::exception& e) {
      ADD_FAILURE() << "cannot load: " << e.what();
    }
  }
}
