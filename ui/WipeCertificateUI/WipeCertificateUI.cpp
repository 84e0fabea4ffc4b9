#include "WipeCertificateUI/WipeCertificateUI.h"

#include "DebugLog.h"
#include "Files.h"
#include "FillPattern.h"
#include "Format.h"
#include "Guarded.h"
#include "LocalTime.h"
#include "ProgramConfig.h"
#include "Settings.h"
#include "SettingsUI/SettingsUI.h"
#include "Strings.h"
#include "Translation.h"
#include "Win32Process.h"
#include "WipeMethod.h"
#include "gtk/Builder.h"
#include "gtk/ChooseStockButton.h"
#include "gtk/FileChooser.h"
#include "gtk/ResourceDirectory.h"
#include "gtk/WidgetName.h"
#include "parts/FileError.h"

#include <cstring>
#include <ostream>
#include <utility>

namespace {

std::string take(gchar* text) {
  std::string copy(text != nullptr ? text : "");
  g_free(text);
  return copy;
}

// "%x %X" of the local time, as the certificate's start and finish.
std::string certificate_time(std::int64_t time) {
  return format_local_time_or_number(time, "%x %X");
}

class WidgetSaver : public gtk::FileChooser {
public:
  WidgetSaver(GtkWidget* widget, std::string name, const char* type)
      : widget(widget), name(std::move(name)), type(type) {}
  bool run(GtkWindow* parent) { return save(parent, name, nullptr, Overwrite::Ask); }
  bool accept(GtkWindow* dialog, const char* fileName) override {
    if (save_widget_snapshot(widget, fileName, type)) {
      platform::give_file_to_operator(fileName);
      return true;
    }
    show_file_error(N_("Cannot save file"), fileName, dialog);
    return false;
  }

private:
  GtkWidget* widget;
  std::string name;
  const char* type;
};

// A text of the drive in a file name: what a file system refuses, or a shell would stumble on,
// replaced; blanks at either end dropped.
std::string file_name_part(const std::string& text) {
  std::string part;
  for (const char c : valid_utf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool refused = byte < 0x20 || byte == 0x7f || std::strchr("/\\:*?\"<>|", c) != nullptr;
    part += refused ? '_' : c;
  }
  const auto first = part.find_first_not_of(' ');
  if (first == std::string::npos)
    return std::string();
  return part.substr(first, part.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string certificate_file_name(const WipeRecord& record) {
  std::string drive;
  for (const std::string& text : {record.drive().model(), record.drive().serial()}) {
    const std::string part = file_name_part(text);
    if (!part.empty())
      drive += (drive.empty() ? "" : " ") + part;
  }
  const std::int64_t when = record.finish_time() != 0  ? record.finish_time()
                            : record.start_time() != 0 ? record.start_time()
                                                       : current_time();
  std::string name = gettext("certificate");
  for (const std::string& part : {drive, format_local_time(when, "%Y-%m-%d")})
    if (!part.empty())
      name += " " + part;
  return name + ".png";
}

bool save_widget_snapshot(GtkWidget* widget, const std::string& path, const char* type) {
  gtk_widget_hide(widget);
  gtk_widget_show(widget);
  while (gtk_events_pending())
    gtk_main_iteration();

  // A widget that is not on the screen has nothing to draw from (GTK would complain, then give
  // nothing).
  GdkPixmap* pixmap =
      gtk_widget_is_drawable(widget) ? gtk_widget_get_snapshot(widget, nullptr) : nullptr;
  GdkPixbuf* pixbuf = nullptr;
  if (pixmap != nullptr) {
    gint width = 0;
    gint height = 0;
    gdk_drawable_get_size(GDK_DRAWABLE(pixmap), &width, &height);
    pixbuf = gdk_pixbuf_get_from_drawable(nullptr, GDK_DRAWABLE(pixmap), nullptr, 0, 0, 0, 0, width,
                                          height);
  }
  if (pixbuf == nullptr) {
    debug_log() << "WipeCertificateUI.cpp(41)\n";
    if (pixmap != nullptr)
      g_object_unref(pixmap);
    return false;
  }
  // Made in memory and written as any file the program saves: the picture's path may lead
  // where an ordinary user has a say.
  GError* error = nullptr;
  gchar* bytes = nullptr;
  gsize size = 0;
  bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &bytes, &size, type, &error, nullptr) == TRUE;
  if (!saved) {
    debug_log() << "WipeCertificateUI.cpp(47): " << (error != nullptr ? error->message : "")
                << "\n";
    if (error != nullptr)
      g_error_free(error);
  } else {
    saved = write_file(path, bytes, size);
  }
  g_free(bytes);
  g_object_unref(pixbuf);
  g_object_unref(pixmap);
  return saved;
}

std::string certificate_background_path() {
  const std::string& chosen = Settings::instance().wipe_certificate_background();
  if (!chosen.empty())
    return chosen;
  return gtk::join_path(program_config().get_string("Program Path"),
                        "lib/WipeCertificateUI/background.png");
}

const std::string& certificate_picture_folder() {
  // Not the shared temporary folder itself: anyone could put a link named like our picture
  // there, and the picture would be written wherever it points.
  static const std::string folder = [] {
    std::string why;
    const std::string made = make_temporary_folder("cvw-certificate-XXXXXX", why);
    if (made.empty())
      debug_log() << "WipeCertificateUI.cpp(60): " << why << "\n";
    return made;
  }();
  return folder;
}

WipeCertificateUI::WipeCertificateUI(const WipeRecord& record, GtkWindow* parent)
    : record(record), parent(parent) {
  gtk::Builder ui("WipeCertificateUI/WipeCertificateUI.ui");
  top.reset(ui.widget("widget"));
  gtk::set_widget_name(top.get(), "WipeCertificateUI");
  fixed = GTK_WIDGET(ui.get<GtkContainer>("fixed", GTK_TYPE_CONTAINER));
  gtk::set_widget_name(ui.widget("title"), "title");

  const Drive& drive_ = record.drive();
  const WipeOptions& options = record.options();
  const std::string facts[][2] = {
      {"model", drive_.model()},
      {"serial", drive_.serial()},
      {"driveSectors", std::to_string(drive_.sectors()) + " (" +
                           format_size(drive_.sectors() * drive_.sector_size()) + ")"},
      {"start", certificate_time(record.start_time())},
      {"finish", certificate_time(record.finish_time())},
      {"mode", wipe_method_name(options.mode())},
      {"lba", std::to_string(record.lba())},
      {"sectors", std::to_string(record.sectors())},
      {"pattern", pattern_to_text(options.pattern())},
      {"verify", options.verify() ? gettext("Yes") : gettext("No")},
  };
  for (const auto& [name, text] : facts) {
    GtkLabel* label = ui.get<GtkLabel>(name.c_str(), GTK_TYPE_LABEL);
    gtk_label_set_text(label, valid_utf8(text).c_str());
    gtk::set_widget_name(GTK_WIDGET(label), "text");
  }

  const Settings& settings = Settings::instance();
  drive = ui.get<GtkEntry>("drive", GTK_TYPE_ENTRY);
  gtk_entry_set_text(drive, settings.wipe_certificate_drive().c_str());
  gtk::set_widget_name(GTK_WIDGET(drive), "entry");
  technician = ui.get<GtkEntry>("technician", GTK_TYPE_ENTRY);
  gtk_entry_set_text(technician, settings.wipe_certificate_technician().c_str());
  gtk::set_widget_name(GTK_WIDGET(technician), "entry");

  background = ui.get<GtkImage>("background", GTK_TYPE_IMAGE);
  load_background(certificate_background_path());

  g_signal_connect(ui.widget("open"), "clicked", G_CALLBACK(on_open), this);
  g_signal_connect(ui.widget("save"), "clicked", G_CALLBACK(on_save), this);
  g_signal_connect(ui.widget("options"), "clicked", G_CALLBACK(on_options), this);

  const char* captions[] = {"driveLabel", "modelLabel",   "serialLabel",     "driveSectorsLabel",
                            "startLabel", "finishLabel",  "technicianLabel", "modeLabel",
                            "lbaLabel",   "sectorsLabel", "patternLabel",    "verifyLabel"};
  for (const char* caption : captions)
    gtk::set_widget_name(ui.widget(caption), "label");
}

void WipeCertificateUI::load_background(const std::string& path) {
  // Shown at the size of the picture area whatever the file's own size, so that a picture of
  // another size neither spills over the panel nor leaves a margin in the saved certificate.
  gint width = 0;
  gint height = 0;
  gtk_widget_get_size_request(fixed, &width, &height);
  gchar* name = g_filename_from_utf8(path.c_str(), -1, nullptr, nullptr, nullptr);
  GdkPixbuf* picture = name != nullptr
                           ? gdk_pixbuf_new_from_file_at_scale(name, width, height, FALSE, nullptr)
                           : nullptr;
  g_free(name);
  if (picture != nullptr) {
    gtk_image_set_from_pixbuf(background, picture);
    g_object_unref(picture);
  } else {
    gtk_image_set_from_stock(background, GTK_STOCK_MISSING_IMAGE, GTK_ICON_SIZE_DIALOG);
  }
}

void WipeCertificateUI::on_open(GtkButton*, gpointer self) {
  guarded("WipeCertificateUI.cpp(228)", "WipeCertificateUI.cpp(230)",
          [&] { static_cast<WipeCertificateUI*>(self)->open_picture(); });
}

void WipeCertificateUI::on_save(GtkButton*, gpointer self) {
  guarded("WipeCertificateUI.cpp(241)", "WipeCertificateUI.cpp(243)",
          [&] { static_cast<WipeCertificateUI*>(self)->save_picture(); });
}

void WipeCertificateUI::on_options(GtkButton*, gpointer self) {
  guarded("WipeCertificateUI.cpp(262)", "WipeCertificateUI.cpp(264)",
          [&] { static_cast<WipeCertificateUI*>(self)->choose_option(); });
}

void WipeCertificateUI::prepare_picture() {
  // The picture shows the texts, not their editing: no selection, no cursor, each text from its
  // start.
  GtkWidget* top = gtk_widget_get_toplevel(fixed);
  for (GtkEntry* entry : {drive, technician}) {
    gtk_editable_set_position(GTK_EDITABLE(entry), 0);
    if (GTK_IS_WINDOW(top) && gtk_window_get_focus(GTK_WINDOW(top)) == GTK_WIDGET(entry))
      gtk_window_set_focus(GTK_WINDOW(top), nullptr);
  }
}

void WipeCertificateUI::open_picture() {
  prepare_picture();
  const std::string& folder = certificate_picture_folder();
  const std::string path = gtk::join_path(folder, "certificate.png");
  if (folder.empty() || !save_widget_snapshot(fixed, path, "png")) {
    show_file_error(N_("Cannot save file"), path, parent);
    return;
  }
  system_open(path);
}

void WipeCertificateUI::save_picture() {
  prepare_picture();
  WidgetSaver(fixed, certificate_file_name(record), "png").run(parent);
}

void WipeCertificateUI::choose_option() {
  const char* items[] = {gettext("Save Drive/Technician"), gettext("Change Wallpaper"), nullptr};
  switch (gtk::choose_stock_button(parent, gettext("Options"), items)) {
  case 0: {
    Settings& settings = Settings::instance();
    settings.set_wipe_certificate_drive(gtk_entry_get_text(drive));
    settings.set_wipe_certificate_technician(gtk_entry_get_text(technician));
    offer_to_save_settings(settings, parent);
    break;
  }
  case 1: change_background(); break;
  default: break;
  }
}

void WipeCertificateUI::change_background() {
  gtk::FileChooser chooser;
  chooser.set_folder(take(g_path_get_dirname(certificate_background_path().c_str())));
  if (!chooser.open(parent, gettext("Select Wallpaper (640x370)")))
    return;
  load_background(chooser.file_name());
  Settings::instance().set_wipe_certificate_background(chooser.file_name());
  offer_to_save_settings(Settings::instance(), parent);
}
