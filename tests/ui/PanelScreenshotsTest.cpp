// Pictures of the drive task's panels and the wipe options dialog, written to the build folder's
// "screenshots" for people to look at. The sector view shows a real FAT32 file system, made by
// mkfs.fat and read through the real engine on a simulated machine.
#include "DriveIconUI/DriveIconUI.h"
#include "ViewUI/ViewUI.h"
#include "WipeOptionsUI/WipeOptionsUI.h"
#include "WipeUI/WipeUI.h"

#include "DialogResponder.h"
#include "FakeViewModel.h"
#include "FakeWipeModel.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "PartitionSample.h"
#include "ProgramConfig.h"
#include "Screenshot.h"
#include "SystemTool.h"
#include "TempDir.h"
#include "TestMachine.h"
#include "WipeRecordSample.h"
#include "gtk/CVWStyle.h"

#include <string>
#include <vector>

namespace {

using PanelScreenshotsTest = GuiTest;

std::string text_of(GtkWidget* view) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* chars = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  std::string text = chars;
  g_free(chars);
  return text;
}

// The sample drive with a system and a data partition.
Drive partitioned_drive() {
  Drive drive = sample_drive();
  drive.set_partitions({partition("524.3MB (Drive E:) System Reserved", 2048, 1024000),
                        partition("1.999TB (Drive F:) Data", 1026048, 3906001920ULL)});
  return drive;
}

} // namespace

// A 64 MiB disk holding one FAT32 file system from its first sector, browsed by the real engine:
// first the hex dump of its boot sector, then the decoded FAT32 form.
TEST_F(PanelScreenshotsTest, TheSectorViewOfAFat32Disk) {
  const std::string mkfs = find_tool("mkfs.fat");
  if (mkfs.empty())
    GTEST_SKIP() << "mkfs.fat is missing (Debian package dosfstools)";
  constexpr std::uint64_t sectors = 131072;
  TestMachine machine(R"("drives": [ { "number": 0, "size": 67108864, "image": "disk0.img" } ])");
  std::string output;
  ASSERT_TRUE(run_tool({mkfs, "-F", "32", "-s", "1", "-n", "CVW32", "-i", "0BADCAFE", "-C",
                        machine.image("disk0.img"), std::to_string(sectors / 2)},
                       output))
      << output;

  program_config().set("Driver", CVWDRV_PATH);
  ViewModelFactoryImpl factory(program_config());
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive0");
  drive.set_sectors(sectors);
  drive.set_sector_size(512);
  drive.set_model("SAMSUNG HD103SJ");
  drive.set_serial("S246J90Z123456");
  drive.set_partitions({partition("67.11MB (Drive F:) CVW32", 0, sectors)});

  ViewUI panel(factory, drive, 0, sectors);
  GtkWidget* window = show_in_window(panel.widget(), "VWTask");
  panel.select();
  GtkWidget* view = widget_by_id(panel.widget(), "textview");
  ASSERT_TRUE(run_loop([&] { return panel.shown_lba() == 0; }, 30 * G_USEC_PER_SEC));
  EXPECT_EQ(text_of(view).rfind("*** LBA: 0 ***\n0000 | eb 58 90 6d 6b 66 73 2e", 0), 0u)
      << text_of(view);
  save_screenshot(window, "ViewUI-hexdump");

  gtk_combo_box_set_active(GTK_COMBO_BOX(widget_by_id(panel.widget(), "format")),
                           ViewModel::FormatFat32);
  ASSERT_TRUE(
      run_loop([&] { return text_of(view).find("File System (FAT32)") != std::string::npos; },
               30 * G_USEC_PER_SEC))
      << text_of(view);
  const std::string text = text_of(view);
  EXPECT_NE(text.find("'CVW32      '"), std::string::npos) << text;
  EXPECT_NE(text.find("55 aa"), std::string::npos) << text;
  save_screenshot(window, "ViewUI-fat32");

  gtk_button_clicked(GTK_BUTTON(widget_by_id(panel.widget(), "toggle")));
  save_screenshot(window, "ViewUI-range-hidden");
  gtk_button_clicked(GTK_BUTTON(widget_by_id(panel.widget(), "toggle")));
  gtk_widget_destroy(window);
}

TEST_F(PanelScreenshotsTest, TheWipeOptionsDialog) {
  WipeOptions options;
  options.set_mode(3); // DoD 5220.22-M (D): verify ticked and greyed
  options.set_pattern("\x55\xaa");
  options.set_ignore_read_errors(true);
  WipeOptionsUI dialog(nullptr);
  DialogResponder answers;
  answers.then([](GtkWindow* d) { save_screenshot(GTK_WIDGET(d), "WipeOptionsUI"); })
      .click("gtk-cancel");
  EXPECT_FALSE(dialog.run(options));
}

// The wipe panel in every state of its model, as a drive task shows it below the sector view.
TEST_F(PanelScreenshotsTest, TheWipePanelInEachState) {
  LogCapture quiet; // the notifier finds no sound player here
  TempDir programDirectory;
  program_config().set("Program Path", programDirectory.path().string());
  FakeWipeModelFactory factory;
  GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  WipeUI panel(factory, partitioned_drive(), 0, 3907029168ULL, parent);
  GtkWidget* window = show_in_window(panel.widget(), "VWTask");
  panel.select();
  FakeWipeModel& model = *factory.last;
  save_screenshot(window, "WipeUI-0-idle");
  model.arm();
  save_screenshot(window, "WipeUI-5-armed");
  model.set_state(WipeModel::State::Wiping);
  model.show_status("WIPING - 37% | 740.1GB | LBA: 1445600000 | 0 errors");
  model.show_percent(37);
  save_screenshot(window, "WipeUI-1-wiping");
  model.set_state(WipeModel::State::Paused);
  save_screenshot(window, "WipeUI-2-paused");
  model.set_state(WipeModel::State::Waiting);
  model.show_status("ERROR - Write failed (LBA: 1445600256, sectors: 256)");
  save_screenshot(window, "WipeUI-5-error");
  model.set_state(WipeModel::State::Done);
  model.show_status("DONE - 2.000TB | 5h 12m 40s | 106.61MB/s | 0 errors (Certificate)");
  save_screenshot(window, "WipeUI-4-done");
  gtk_button_clicked(GTK_BUTTON(widget_by_id(panel.widget(), "toggle")));
  save_screenshot(window, "WipeUI-4-done-options-hidden");
  gtk_button_clicked(GTK_BUTTON(widget_by_id(panel.widget(), "toggle")));
  gtk_widget_destroy(window);
  gtk_widget_destroy(parent);
}

// A whole drive task: the sector view above the wipe panel, in the main window's colours.
TEST_F(PanelScreenshotsTest, ADriveTask) {
  LogCapture quiet;
  TempDir programDirectory;
  program_config().set("Program Path", programDirectory.path().string());
  FakeViewModelFactory views;
  FakeWipeModelFactory wipes;
  GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  ViewUI view(views, partitioned_drive(), 0, 3907029168ULL);
  WipeUI wipe(wipes, partitioned_drive(), 0, 3907029168ULL, parent);
  GtkWidget* box = gtk_vbox_new(FALSE, 0);
  g_object_ref_sink(box);
  gtk_box_pack_start(GTK_BOX(box), view.widget(), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), wipe.widget(), FALSE, FALSE, 0);
  view.select();
  wipe.select();
  views.last->answer();
  wipes.last->set_state(WipeModel::State::Wiping);
  wipes.last->show_status("WIPING - 37% | 740.1GB | LBA: 1445600000 | 0 errors");
  for (const char* look : {"VWTask", "TopUI"}) {
    GtkWidget* window = show_in_window(box, look);
    save_screenshot(window, std::string("DriveTask-") + look);
    gtk_container_remove(GTK_CONTAINER(window), box);
    gtk_widget_destroy(window);
  }
  gtk_widget_destroy(box);
  g_object_unref(box);
  gtk_widget_destroy(parent);
}

// Drive tasks on a real Linux machine: the head names the drive's device before its model, a
// loop device's image stands in, marked, for the model it lacks, and a mounted volume shows its
// mount point beside its letter in the area list and in the drive's tooltip.
TEST_F(PanelScreenshotsTest, DriveTasksOfALinuxMachine) {
  LogCapture quiet;
  TempDir programDirectory;
  program_config().set("Program Path", programDirectory.path().string());
  Drive disk;
  disk.set_id("\\\\.\\PhysicalDrive1");
  disk.set_sectors(1953525168ULL);
  disk.set_model("WDC WD10EZEX-08WN4A0");
  disk.set_serial("WD-WCC6Y1234567");
  disk.set_system_name("/dev/sdb");
  Partition data =
      partition("1.000TB (Drive D: /media/operator/DATA) ext4 - DATA", 2048, 1953523120ULL);
  data.set_letter("D:");
  data.set_mount_points({"/media/operator/DATA"});
  disk.set_partitions({data});
  Drive loop;
  loop.set_id("\\\\.\\PhysicalDrive2");
  loop.set_sectors(131072);
  loop.set_system_name("/dev/loop7");
  loop.set_model_stand_in({Drive::StandIn::Kind::BackingFile, "/home/operator/images/stick.img"});
  const struct {
    const char* name;
    Drive drive;
    std::string model, serial; // the head's lines
    std::string icon;          // the name of the drive's icon for assistive tools
  } cases[] = {
      {"disk", disk, "/dev/sdb  WDC WD10EZEX-08WN4A0", "WD-WCC6Y1234567",
       "/dev/sdb  WDC WD10EZEX-08WN4A0 1.000TB"},
      {"loop-device", loop, "/dev/loop7  /home/operator/images/stick.img (backing file)", "",
       "/dev/loop7  /home/operator/images/stick.img (backing file) 67.11MB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeViewModelFactory views;
    FakeWipeModelFactory wipes;
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    ViewUI view(views, c.drive, 0, c.drive.sectors());
    WipeUI wipe(wipes, c.drive, 0, c.drive.sectors(), parent);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(widget_by_id(view.widget(), "model"))),
                 c.model.c_str());
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(widget_by_id(view.widget(), "serial"))),
                 c.serial.c_str());
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), view.widget(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), wipe.widget(), FALSE, FALSE, 0);
    view.select();
    wipe.select();
    views.last->answer();
    GtkWidget* area = widget_by_id(wipe.widget(), "wipeArea");
    if (!c.drive.partitions().empty())
      gtk_combo_box_set_active(GTK_COMBO_BOX(area), 1);
    GtkWidget* window = show_in_window(box, "TopUI");
    save_screenshot(window, std::string("DriveTask-linux-") + c.name);
    if (!c.drive.partitions().empty()) {
      // The list that drops down shows each volume whole, its mount point beside its letter.
      // A list drops down only while it can grab the pointer, which another test on the same
      // display may hold for a moment: it is asked again until it is shown.
      GtkWidget* list = gtk_widget_get_toplevel(gtk::attached_menu(area));
      ASSERT_TRUE(run_loop(
          [&] {
            if (!gtk_widget_get_mapped(list))
              gtk_combo_box_popup(GTK_COMBO_BOX(area));
            return gtk_widget_get_mapped(list) != FALSE;
          },
          10 * G_USEC_PER_SEC));
      run_loop([] { return false; }, 100 * 1000); // drawn
      save_screenshot(list, std::string("DriveTask-linux-") + c.name + "-areas");
      gtk_combo_box_popdown(GTK_COMBO_BOX(area));
    }
    gtk_widget_destroy(window);

    DriveIconUI icon(DriveIconUI::Look::WithLight);
    icon.set_drive(c.drive);
    icon.set_has_drive(true);
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(icon.focus_widget())),
                 c.icon.c_str());
    gtk_widget_show(icon.tooltip_window());
    save_screenshot(icon.tooltip_window(), std::string("DriveIconUI-tooltip-linux-") + c.name);
    gtk_widget_hide(icon.tooltip_window());
    gtk_widget_destroy(parent);
  }
}
