// The wipe certificate: the facts of one finished wipe over a background picture, with two texts
// the operator fills in (what the drive is, who wiped it). It can be opened in the picture
// viewer, saved as a PNG file, and its texts and background kept in the settings for later
// certificates.
#pragma once

#include "WipeRecord.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <string>

class WipeCertificateUI {
public:
  // The panel for `record` (not owned; it must outlive the panel), whose messages and file
  // choosers open over `parent`. Throws what gtk::Builder throws.
  WipeCertificateUI(const WipeRecord& record, GtkWindow* parent);
  WipeCertificateUI(const WipeCertificateUI&) = delete;
  WipeCertificateUI& operator=(const WipeCertificateUI&) = delete;

  // The panel, for the log window to place.
  GtkWidget* widget() const { return top.get(); }
  // The area that becomes the picture, the size of the background.
  GtkWidget* picture_area() const { return fixed; }

private:
  static void on_open(GtkButton*, gpointer self);
  static void on_save(GtkButton*, gpointer self);
  static void on_options(GtkButton*, gpointer self);
  void prepare_picture();
  void open_picture();
  void save_picture();
  void choose_option();
  void change_background();
  void load_background(const std::string& path);

  const WipeRecord& record;
  GtkWindow* parent;
  gtk::WidgetRef top;
  GtkWidget* fixed = nullptr;
  GtkEntry* drive = nullptr;
  GtkEntry* technician = nullptr;
  GtkImage* background = nullptr;
};

// Writes what `widget` shows, freshly drawn, to the picture file `path` (UTF-8) of `type`
// ("png"). Returns false, with a debug-log line, when the widget gives no picture (it is not
// shown) or the file cannot be written.
bool save_widget_snapshot(GtkWidget* widget, const std::string& path, const char* type);

// The file name a save of the certificate of `record` proposes: which drive (its model and
// serial, as far as it reports them) and when it was wiped, such as "certificate WDC
// WD10EZEX-08WN4A0 WD-WCC6Y0LX1234 2026-12-11.png"; characters that no file name may hold
// become "_".
std::string certificate_file_name(const WipeRecord& record);

// The background picture of every certificate: the settings' choice, or the program's own.
std::string certificate_background_path();

// The folder where "open" puts the picture it hands to the viewer: made on first use, readable
// by this user alone, the same for the rest of the run. Empty, with a debug-log line, when it
// cannot be made.
const std::string& certificate_picture_folder();
