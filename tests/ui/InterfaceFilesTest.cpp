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
        {"tasksScroller", gtk_scrolled_window_get_type},
        {"drivesContainer", gtk_container_get_type},
        {"close", gtk_button_get_type},
        {"help", gtk_button_get_type},
        {"multiwipe", gtk_button_get_type},
        {"rescan", gtk_button_get_type},
        {"label", gtk_label_get_type}}},
      {"ViewUI/ViewUI.ui",
       {{"widget", gtk_widget_get_type},
        {"top", gtk_widget_get_type},
        {"bottom", gtk_widget_get_type},
        {"toggle", gtk_toggle_button_get_type},
        {"blink", gtk_button_get_type},
        {"driveIconBox", gtk_container_get_type},
        {"driveMiniBox", gtk_container_get_type},
        {"lba", gtk_spin_button_get_type},
        {"lbaScale", gtk_range_get_type},
        {"textview", gtk_text_view_get_type},
        {"textbuffer", gtk_text_buffer_get_type},
        {"scrolledwindow", gtk_scrolled_window_get_type},
        {"viewArea", gtk_combo_box_get_type},
        {"viewStart", gtk_spin_button_get_type},
        {"viewSectors", gtk_spin_button_get_type},
        {"viewFinish", gtk_spin_button_get_type},
        {"format", gtk_combo_box_get_type}}},
      {"WipeUI/WipeUI.ui",
       {{"widget", gtk_widget_get_type},
        {"top", gtk_widget_get_type},
        {"bottom", gtk_widget_get_type},
        {"toggle", gtk_toggle_button_get_type},
        {"message", gtk_label_get_type},
        {"buttons", gtk_hbox_get_type},
        {"start", gtk_button_get_type},
        {"wipeAll", gtk_button_get_type},
        {"stop", gtk_button_get_type},
        {"wipeArea", gtk_combo_box_get_type},
        {"wipeStart", gtk_spin_button_get_type},
        {"wipeSectors", gtk_spin_button_get_type},
        {"wipeFinish", gtk_spin_button_get_type},
        {"sectorsPerTime", gtk_spin_button_get_type},
        {"jumpSectors", gtk_spin_button_get_type},
        {"fillPattern", gtk_entry_get_type},
        {"fillPatternFromFile", gtk_button_get_type},
        {"ignoreWriteErrors", gtk_toggle_button_get_type},
        {"ignoreReadErrors", gtk_toggle_button_get_type},
        {"ignoreCompareErrors", gtk_toggle_button_get_type},
        {"operationMode", gtk_combo_box_get_type},
        {"jumpDouble", gtk_toggle_button_get_type},
        {"verify", gtk_toggle_button_get_type},
        {"logFile", gtk_button_get_type}}},
      {"WipeOptionsUI/WipeOptionsUI.ui",
       {{"dialog", gtk_dialog_get_type},
        {"sectorsPerTime", gtk_spin_button_get_type},
        {"fillPattern", gtk_entry_get_type},
        {"fillPatternFromFile", gtk_button_get_type},
        {"ignoreWriteErrors", gtk_toggle_button_get_type},
        {"ignoreReadErrors", gtk_toggle_button_get_type},
        {"ignoreCompareErrors", gtk_toggle_button_get_type},
        {"operationMode", gtk_combo_box_get_type},
        {"jumpSectors", gtk_spin_button_get_type},
        {"jumpDouble", gtk_toggle_button_get_type},
        {"verify", gtk_toggle_button_get_type}}},
      {"MainLogUI/MainLogUI.ui",
       {{"dialog", gtk_dialog_get_type},
        {"textview", gtk_text_view_get_type},
        {"textbuffer", gtk_text_buffer_get_type}}},
      {"LogUI/LogUI.ui",
       {{"dialog", gtk_dialog_get_type},
        {"textview", gtk_text_view_get_type},
        {"textbuffer", gtk_text_buffer_get_type},
        {"topbox", gtk_container_get_type}}},
      {"SettingsUI/SettingsUI.ui",
       {{"dialog", gtk_dialog_get_type},
        {"exportCsv", gtk_button_get_type},
        {"exportCsvEntry", gtk_entry_get_type},
        {"exportTxt", gtk_button_get_type},
        {"exportTxtEntry", gtk_entry_get_type},
        {"wipeOptions", gtk_button_get_type},
        {"hiddenDrives", gtk_button_get_type},
        {"notifierErrorOn", gtk_toggle_button_get_type},
        {"notifierErrorPeriod", gtk_spin_button_get_type},
        {"notifierErrorTest", gtk_button_get_type},
        {"notifierDoneOn", gtk_toggle_button_get_type},
        {"notifierDonePeriod", gtk_spin_button_get_type},
        {"notifierDoneTest", gtk_button_get_type},
        {"load", gtk_button_get_type},
        {"save", gtk_button_get_type},
        {"debug", gtk_button_get_type}}},
      {"MultiSelectUI/MultiSelectUI.ui",
       {{"widget", gtk_widget_get_type},
        {"liststore", gtk_list_store_get_type},
        {"cellrendererSelection", gtk_cell_renderer_toggle_get_type},
        {"selectAll", gtk_button_get_type},
        {"unselectAll", gtk_button_get_type}}},
      {"HiddenDrivesUI/HiddenDrivesUI.ui",
       {{"dialog", gtk_dialog_get_type}, {"vbox", gtk_container_get_type}}},
      {"MultiWipeUI/MultiWipeUI.ui",
       {{"dialog", gtk_dialog_get_type},
        {"vbox", gtk_container_get_type},
        {"buttonbox", gtk_widget_get_type},
        {"start", gtk_button_get_type},
        {"stop", gtk_button_get_type},
        {"pause", gtk_button_get_type},
        {"resume", gtk_button_get_type}}},
      {"WipeCertificateUI/WipeCertificateUI.ui",
       {{"widget", gtk_widget_get_type},
        {"fixed", gtk_container_get_type},
        {"title", gtk_widget_get_type},
        {"model", gtk_label_get_type},
        {"serial", gtk_label_get_type},
        {"driveSectors", gtk_label_get_type},
        {"start", gtk_label_get_type},
        {"finish", gtk_label_get_type},
        {"mode", gtk_label_get_type},
        {"lba", gtk_label_get_type},
        {"sectors", gtk_label_get_type},
        {"pattern", gtk_label_get_type},
        {"verify", gtk_label_get_type},
        {"drive", gtk_entry_get_type},
        {"technician", gtk_entry_get_type},
        {"background", gtk_image_get_type},
        {"open", gtk_button_get_type},
        {"save", gtk_button_get_type},
        {"options", gtk_button_get_type},
        {"driveLabel", gtk_widget_get_type},
        {"modelLabel", gtk_widget_get_type},
        {"serialLabel", gtk_widget_get_type},
        {"driveSectorsLabel", gtk_widget_get_type},
        {"startLabel", gtk_widget_get_type},
        {"finishLabel", gtk_widget_get_type},
        {"technicianLabel", gtk_widget_get_type},
        {"modeLabel", gtk_widget_get_type},
        {"lbaLabel", gtk_widget_get_type},
        {"sectorsLabel", gtk_widget_get_type},
        {"patternLabel", gtk_widget_get_type},
        {"verifyLabel", gtk_widget_get_type}}},
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
