#include "WipeCertificateUI/WipeCertificateUI.h"

#include "DialogResponder.h"
#include "ElevatedOperator.h"
#include "Files.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LocalTime.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "Screenshot.h"
#include "Settings.h"
#include "SettingsUI/SettingsUI.h"
#include "TempDir.h"
#include "WipeRecordSample.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class WipeCertificateUITest : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    use_program_directory_of_the_build();
    Settings::set_directory(dir.path().string());
  }
  void TearDown() override {
    g_unsetenv("CVW_SHELL_OPEN");
    if (window != nullptr)
      gtk_widget_destroy(window);
  }
  // The panel shown in a window, as the log window shows it.
  void show(WipeCertificateUI& certificate) {
    window = show_in_window(certificate.widget(), "LogUI");
    flush_events();
  }
  std::string label(const WipeCertificateUI& certificate, const char* name) {
    return gtk_label_get_text(GTK_LABEL(widget_by_id(certificate.widget(), name)));
  }
  GtkEntry* entry(const WipeCertificateUI& certificate, const char* name) {
    return GTK_ENTRY(widget_by_id(certificate.widget(), name));
  }
  void click(const WipeCertificateUI& certificate, const char* name) {
    gtk_button_clicked(GTK_BUTTON(widget_by_id(certificate.widget(), name)));
  }

  // The desktop's opener becomes a script that runs `command` on the file, then writes the
  // file's path into `opened`.
  void use_viewer(const std::string& command) {
    const std::string script = dir.file("viewer");
    const std::string text = "#!/bin/sh\n" + command + "\necho \"$1\" > '" + opened +
                             ".tmp'\nmv '" + opened + ".tmp' '" + opened + "'\n";
    ASSERT_TRUE(write_file(script, text.data(), text.size()));
    fs::permissions(script, fs::perms::owner_all);
    g_setenv("CVW_SHELL_OPEN", script.c_str(), TRUE);
  }

  TempDir dir;
  const std::string opened = dir.file("opened");
  LogCapture debug;
  GtkWidget* window = nullptr;
};

// The pixels inside `area` where `picture` clearly differs from `background` (of the same size):
// what was drawn over the background there.
int ink_in(GdkPixbuf* picture, GdkPixbuf* background, const GdkRectangle& area) {
  const auto pixel = [](GdkPixbuf* p, int x, int y) {
    return gdk_pixbuf_get_pixels(p) + y * gdk_pixbuf_get_rowstride(p) +
           x * gdk_pixbuf_get_n_channels(p);
  };
  int ink = 0;
  for (int y = area.y; y < area.y + area.height && y < gdk_pixbuf_get_height(picture); ++y)
    for (int x = area.x; x < area.x + area.width && x < gdk_pixbuf_get_width(picture); ++x) {
      const guchar* a = pixel(picture, x, y);
      const guchar* b = pixel(background, x, y);
      if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 90)
        ++ink;
    }
  return ink;
}

// `widget`'s place inside the picture area.
GdkRectangle place_in(GtkWidget* widget, GtkWidget* area) {
  GtkAllocation inner;
  GtkAllocation outer;
  gtk_widget_get_allocation(widget, &inner);
  gtk_widget_get_allocation(area, &outer);
  return {inner.x - outer.x, inner.y - outer.y, inner.width, inner.height};
}

ObjectRef<GdkPixbuf> load_picture(const std::string& path) {
  GError* error = nullptr;
  GdkPixbuf* picture = gdk_pixbuf_new_from_file(path.c_str(), &error);
  EXPECT_NE(picture, nullptr) << path << ": " << (error != nullptr ? error->message : "");
  if (error != nullptr)
    g_error_free(error);
  return ObjectRef<GdkPixbuf>::adopt(picture);
}

} // namespace

TEST_F(WipeCertificateUITest, ShowsTheFactsOfTheWipeAndTheStoredTexts) {
  Settings::instance().set_wipe_certificate_drive("Office PC 12 <bay 2> & spare");
  Settings::instance().set_wipe_certificate_technician("J. Smith");
  Drive drive = sample_drive();
  drive.set_model("A&B <1>");
  WipeRecord record = finished_record(drive);
  WipeOptions options = record.options();
  options.set_pattern(std::string("\x00\xff\"", 3));
  record.set_options(options);
  WipeCertificateUI certificate(record, nullptr);

  const struct {
    const char* name;
    std::string text;
  } facts[] = {
      {"model", "A&B <1>"},
      {"serial", "ZFL1A2B3"},
      {"driveSectors", "3907029168 (2.000TB)"},
      {"start", format_local_time(record.start_time(), "%x %X")},
      {"finish", format_local_time(record.finish_time(), "%x %X")},
      {"mode", "DoD 5220.22-M (E)"},
      {"lba", "0"},
      {"sectors", "3907029168"},
      {"pattern", "\\x00\\xff\\\""},
      {"verify", "Yes"},
  };
  for (const auto& fact : facts) {
    SCOPED_TRACE(fact.name);
    EXPECT_EQ(label(certificate, fact.name), fact.text);
    EXPECT_STREQ(gtk_widget_get_name(widget_by_id(certificate.widget(), fact.name)), "text");
  }
  EXPECT_STREQ(gtk_entry_get_text(entry(certificate, "drive")), "Office PC 12 <bay 2> & spare");
  EXPECT_STREQ(gtk_entry_get_text(entry(certificate, "technician")), "J. Smith");
  EXPECT_STREQ(gtk_widget_get_name(GTK_WIDGET(entry(certificate, "technician"))), "entry");
  EXPECT_STREQ(gtk_widget_get_name(certificate.widget()), "WipeCertificateUI");
  EXPECT_STREQ(gtk_widget_get_name(widget_by_id(certificate.widget(), "verifyLabel")), "label");

  // A wipe of part of a drive, without verification.
  WipeRecord part;
  part.set_drive(sample_drive());
  part.start(2048, 1000);
  part.finish();
  WipeCertificateUI partial(part, nullptr);
  EXPECT_EQ(label(partial, "verify"), "No");
  EXPECT_EQ(label(partial, "lba"), "2048");
  EXPECT_EQ(label(partial, "sectors"), "1000");
  EXPECT_EQ(label(partial, "mode"), "Forward");
}

TEST_F(WipeCertificateUITest, TheBackgroundIsTheProgramsOwnUnlessTheSettingsNameOne) {
  const std::string own = certificate_background_path();
  EXPECT_EQ(fs::path(own), fs::path(program_config().get_string("Program Path")) / "lib" /
                               "WipeCertificateUI" / "background.png");
  int width = 0;
  int height = 0;
  ASSERT_NE(gdk_pixbuf_get_file_info(own.c_str(), &width, &height), nullptr);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 370);

  // Any picture fills the area, whatever its own size; a missing one shows as missing.
  ObjectRef<GdkPixbuf> small =
      ObjectRef<GdkPixbuf>::adopt(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 100, 50));
  gdk_pixbuf_fill(small.get(), 0x336699ff);
  ASSERT_TRUE(gdk_pixbuf_save(small.get(), dir.file("small.png").c_str(), "png", nullptr, nullptr));
  const struct {
    std::string path;
    GtkImageType shown;
  } cases[] = {
      {"", GTK_IMAGE_PIXBUF},
      {dir.file("small.png"), GTK_IMAGE_PIXBUF},
      {dir.file("missing.png"), GTK_IMAGE_STOCK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Settings::instance().set_wipe_certificate_background(c.path);
    EXPECT_EQ(certificate_background_path(), c.path.empty() ? own : c.path);
    WipeRecord record = finished_record();
    WipeCertificateUI certificate(record, nullptr);
    GtkImage* image = GTK_IMAGE(widget_by_id(certificate.widget(), "background"));
    ASSERT_EQ(gtk_image_get_storage_type(image), c.shown);
    if (c.shown == GTK_IMAGE_PIXBUF) {
      EXPECT_EQ(gdk_pixbuf_get_width(gtk_image_get_pixbuf(image)), 640);
      EXPECT_EQ(gdk_pixbuf_get_height(gtk_image_get_pixbuf(image)), 370);
    }
  }
}

// The saved PNG is the picture area, at its size, with every fact and the typed texts drawn
// where the panel shows them; typing does not store the texts.
TEST_F(WipeCertificateUITest, TheSavedPictureHoldsTheFactsAndTheTypedTexts) {
  WipeRecord record = finished_record();
  WipeCertificateUI certificate(record, nullptr);
  show(certificate);
  gtk_entry_set_text(entry(certificate, "drive"), "Laptop 7, returned by lease");
  gtk_entry_set_text(entry(certificate, "technician"), "A. N. Operator");

  DialogResponder answers;
  answers
      .then([&](GtkWindow* chooser) { EXPECT_STREQ(gtk_window_get_title(chooser), "Save File"); })
      .choose_file(dir.file("certificate.png"));
  click(certificate, "save");
  EXPECT_TRUE(answers.finished());

  ObjectRef<GdkPixbuf> saved = load_picture(dir.file("certificate.png"));
  ASSERT_TRUE(saved);
  EXPECT_EQ(gdk_pixbuf_get_width(saved.get()), 640);
  EXPECT_EQ(gdk_pixbuf_get_height(saved.get()), 370);
  ObjectRef<GdkPixbuf> background = load_picture(certificate_background_path());
  ASSERT_TRUE(background);
  for (const char* name :
       {"title", "model", "serial", "driveSectors", "start", "finish", "mode", "lba", "sectors",
        "pattern", "verify", "drive", "technician", "modelLabel", "technicianLabel"}) {
    SCOPED_TRACE(name);
    const GdkRectangle area =
        place_in(widget_by_id(certificate.widget(), name), certificate.picture_area());
    EXPECT_GT(ink_in(saved.get(), background.get(), area), 15);
  }
  EXPECT_EQ(Settings::instance().wipe_certificate_drive(), "");
  EXPECT_EQ(Settings::instance().wipe_certificate_technician(), "");
}

// The name a save proposes says which drive and when; what a file name cannot hold is replaced.
TEST(CertificateFileName, TheDriveAndTheDay) {
  const auto named = [](const char* model, const char* serial) {
    Drive drive = sample_drive();
    drive.set_model(model);
    drive.set_serial(serial);
    return finished_record(drive);
  };
  const struct {
    const char* name;
    WipeRecord record;
    const char* drive;
  } cases[] = {
      {"model and serial", named("ST2000DM008-2FR102", "ZFL1A2B3"), " ST2000DM008-2FR102 ZFL1A2B3"},
      {"only a serial", named("", "ZFL1A2B3"), " ZFL1A2B3"},
      {"neither", named(" ", ""), ""},
      {"what no file name holds", named("A/B\\C: <x>|?*\"", "S\t1\x7f"), " A_B_C_ _x_____ S_1_"},
      {"bytes that are no text", named("Disk\xff", "1"), " Disk\xef\xbf\xbd 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(certificate_file_name(c.record),
              "certificate" + std::string(c.drive) + " " +
                  format_local_time(c.record.finish_time(), "%Y-%m-%d") + ".png");
  }
  // A record that is not finished is named after its start.
  WipeRecord started;
  started.set_drive(sample_drive());
  started.start(0, 1);
  EXPECT_EQ(certificate_file_name(started),
            "certificate ST2000DM008-2FR102 ZFL1A2B3 " +
                format_local_time(started.start_time(), "%Y-%m-%d") + ".png");
}

// Saved for the operator who started the program (under pkexec, the user who asked, not root):
// the chooser opens in their home with the proposed name, and the file becomes theirs.
TEST_F(WipeCertificateUITest, SaveLandsWithTheOperator) {
  ElevatedOperator person;
  WipeRecord record = finished_record();
  WipeCertificateUI certificate(record, nullptr);
  show(certificate);
  DialogResponder answers;
  answers
      .then([&](GtkWindow* chooser) {
        gchar* folder = nullptr;
        run_loop([&] {
          g_free(folder);
          folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
          return folder != nullptr;
        });
        EXPECT_STREQ(folder, person.home().c_str());
        g_free(folder);
      })
      .respond(GTK_RESPONSE_ACCEPT);
  click(certificate, "save");
  EXPECT_TRUE(answers.finished());
  const std::string saved = person.home() + "/" + certificate_file_name(record);
  ASSERT_TRUE(fs::exists(saved)) << saved;
  struct stat status {};
  ASSERT_EQ(::stat(saved.c_str(), &status), 0);
  if (geteuid() == 0) {
    EXPECT_EQ(status.st_uid, person.uid());
  }
}

// "open" hands the picture to the viewer from a folder of our own, not from the shared
// temporary folder, where another user could have put a link named "certificate.png".
TEST_F(WipeCertificateUITest, OpenShowsThePictureFromAPrivateFolder) {
  use_viewer("cp \"$1\" '" + dir.file("copy.png") + "'");

  WipeRecord record = finished_record();
  WipeCertificateUI certificate(record, nullptr);
  show(certificate);
  for (int time = 0; time < 2; ++time) { // the second overwrites the first without asking
    SCOPED_TRACE(time);
    fs::remove(opened);
    click(certificate, "open");
    ASSERT_TRUE(run_loop([&] { return fs::exists(opened); }, 10 * G_USEC_PER_SEC));
    std::string path;
    read_file(opened, path);
    const fs::path picture(path.substr(0, path.size() - 1));
    EXPECT_EQ(picture.filename(), "certificate.png");
    EXPECT_EQ(picture.parent_path(), fs::path(certificate_picture_folder()));
    EXPECT_EQ(picture.parent_path().parent_path(), fs::path(g_get_tmp_dir()));
    EXPECT_EQ(fs::status(picture.parent_path()).permissions() & fs::perms::all,
              fs::perms::owner_all);
    ObjectRef<GdkPixbuf> copy = load_picture(dir.file("copy.png"));
    ASSERT_TRUE(copy);
    EXPECT_EQ(gdk_pixbuf_get_width(copy.get()), 640);
  }
}

TEST_F(WipeCertificateUITest, APictureThatCannotBeMadeOpensNothing) {
  use_viewer("");

  WipeRecord record = finished_record();
  WipeCertificateUI certificate(record, nullptr); // in no window: nothing to take a picture of
  DialogResponder answers;
  answers.click("gtk-close");
  click(certificate, "open");
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].title, "Error");
  EXPECT_EQ(answers.seen()[0].text,
            "Cannot save file\n" + certificate_picture_folder() + "/certificate.png");
  EXPECT_NE(debug.text().find("WipeCertificateUI.cpp(41)\n"), std::string::npos);
  g_usleep(200000);
  EXPECT_FALSE(fs::exists(opened));
}

TEST_F(WipeCertificateUITest, OptionsKeepTheTextsOrChangeTheBackground) {
  WipeRecord record = finished_record();
  WipeCertificateUI certificate(record, nullptr);
  show(certificate);
  gtk_entry_set_text(entry(certificate, "drive"), "Server 3");
  gtk_entry_set_text(entry(certificate, "technician"), "R. Roe");

  DialogResponder keep;
  keep.click("Save Drive/Technician").click("gtk-yes");
  click(certificate, "options");
  ASSERT_TRUE(keep.finished());
  EXPECT_EQ(keep.seen()[0].title, "Options");
  EXPECT_EQ(keep.seen()[1].text, "Do you want to save settings now?");
  Settings stored;
  ASSERT_TRUE(stored.load(dir.file("settings.cfg").c_str()));
  EXPECT_EQ(stored.wipe_certificate_drive(), "Server 3");
  EXPECT_EQ(stored.wipe_certificate_technician(), "R. Roe");

  ObjectRef<GdkPixbuf> plain =
      ObjectRef<GdkPixbuf>::adopt(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 640, 370));
  gdk_pixbuf_fill(plain.get(), 0xffffffff);
  ASSERT_TRUE(gdk_pixbuf_save(plain.get(), dir.file("plain.png").c_str(), "png", nullptr, nullptr));
  DialogResponder change;
  change.click("Change Wallpaper")
      .then([](GtkWindow* chooser) {
        EXPECT_STREQ(gtk_window_get_title(chooser), "Select Wallpaper (640x370)");
      })
      .choose_file(dir.file("plain.png"))
      .click("gtk-no");
  click(certificate, "options");
  ASSERT_TRUE(change.finished());
  EXPECT_EQ(Settings::instance().wipe_certificate_background(), dir.file("plain.png"));
  GtkImage* image = GTK_IMAGE(widget_by_id(certificate.widget(), "background"));
  const guchar* pixel = gdk_pixbuf_get_pixels(gtk_image_get_pixbuf(image));
  EXPECT_EQ(pixel[0], 0xff);
  ASSERT_TRUE(stored.load(dir.file("settings.cfg").c_str()));
  EXPECT_EQ(stored.wipe_certificate_background(), "") << "No saved nothing";

  DialogResponder cancel;
  cancel.click("gtk-cancel");
  click(certificate, "options");
  EXPECT_TRUE(cancel.finished());
}

TEST_F(WipeCertificateUITest, SettingsThatCannotBeSavedAreReported) {
  Settings::set_directory(dir.file("<missing> & gone"));
  DialogResponder answers;
  answers.click("gtk-yes").click("gtk-close");
  offer_to_save_settings(Settings::instance(), nullptr);
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[1].title, "Error");
  EXPECT_EQ(answers.seen()[1].text,
            "Cannot save settings file\n" + dir.file("<missing> & gone") + "/settings.cfg");

  DialogResponder no;
  no.click("gtk-no");
  Settings::set_directory(dir.path().string());
  offer_to_save_settings(Settings::instance(), nullptr);
  EXPECT_FALSE(fs::exists(dir.file("settings.cfg")));
}

// The sheet's own texts (title, subtitle, headings, captions) show whole and stay inside the
// inner frame line of the background (x 18 to 622). The build runs this test in German too.
TEST_F(WipeCertificateUITest, TheSheetsOwnTextsStayWholeInsideTheFrame) {
  constexpr int frame_left = 18;
  constexpr int frame_right = 622;
  WipeCertificateUI certificate(finished_record(), nullptr);
  show(certificate);
  GtkWidget* sheet = certificate.picture_area();
  int checked = 0;
  for (GtkWidget* widget : all_widgets(sheet)) {
    const std::string name = gtk_widget_get_name(widget);
    if (!GTK_IS_LABEL(widget) ||
        (name != "title" && name != "subtitle" && name != "heading" && name != "label"))
      continue;
    ++checked;
    SCOPED_TRACE(gtk_label_get_text(GTK_LABEL(widget)));
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(widget));
    EXPECT_FALSE(pango_layout_is_ellipsized(layout));
    int x = 0, y = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(widget), &x, &y);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const int left = x + ink.x - sheet->allocation.x;
    EXPECT_GE(left, frame_left);
    EXPECT_LE(left + ink.width, frame_right);
  }
  EXPECT_GE(checked, 12);
}
