#include "app/UpdateDialog.h"

#include "Crt.h"
#include "DebugLog.h"
#include "Files.h"
#include "Format.h"
#include "Guarded.h"
#include "Translation.h"
#include "gtk/Markup.h"
#include "gtk/MessageBox.h"
#include "gtk/ProgressBox.h"
#include "gtk/WidgetName.h"

#include <gio/gio.h>
#include <glib/gstdio.h>

#include <ostream>

StreamFile::StreamFile(const std::string& path) {
  // Exclusive creation: the file is new, and a link planted at the path is not followed.
  fd = g_open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0644);
  if (fd < 0)
    debug_log() << "UpdateDialog.cpp(46): " << path << "\n";
}

StreamFile::~StreamFile() {
  if (fd >= 0)
    _close(fd);
}

bool StreamFile::write(const char* bytes, std::size_t count) {
  std::size_t written = 0;
  while (written < count) {
    const int n = _write(fd, bytes + written, static_cast<unsigned int>(count - written));
    if (n <= 0) {
      debug_log() << "UpdateDialog.cpp(56)\n";
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  set_progress(InterfaceCallback::progress_by, count);
  check();
  return true;
}

bool StreamFile::close() {
  if (fd < 0)
    return false;
  const int result = _close(fd);
  fd = -1;
  return result == 0;
}

namespace {

constexpr int feed_box_width = 320;
constexpr int download_box_width = 600;

// Reports of `user` go to `callback` while this lives.
class Watching {
public:
  Watching(UsesInterfaceCallback& user, InterfaceCallback& callback) : user(user) {
    user.set_callback(&callback);
  }
  ~Watching() { user.set_callback(nullptr); }
  Watching(const Watching&) = delete;
  Watching& operator=(const Watching&) = delete;

private:
  UsesInterfaceCallback& user;
};

// The private folder a download goes to: made for it alone, readable by us alone, and removed
// with the file unless the download is complete and kept.
class DownloadFolder {
public:
  DownloadFolder() = default;
  DownloadFolder(const DownloadFolder&) = delete;
  DownloadFolder& operator=(const DownloadFolder&) = delete;
  ~DownloadFolder() {
    if (kept || folder.empty())
      return;
    if (!file.empty())
      g_remove(file.c_str());
    g_rmdir(folder.c_str());
  }

  // Makes the folder in the system's temporary folder, where no other user may change the way
  // to it (make_temporary_folder). Returns false, with a debug-log line,
  // when it cannot.
  bool make() {
    std::string why;
    folder = make_temporary_folder("wipedesk-update-XXXXXX", why);
    if (folder.empty())
      debug_log() << "UpdateDialog.cpp(163): " << why << "\n";
    return !folder.empty();
  }
  // The path of `name` inside, which goes with the folder unless kept.
  const std::string& hold(const std::string& name) {
    file = folder + G_DIR_SEPARATOR_S + name;
    return file;
  }
  const std::string& path() const { return folder; }
  void keep() { kept = true; }

private:
  std::string folder;
  std::string file;
  bool kept = false;
};

// The bytes free for an ordinary user in the file system of `folder`. Returns false, with a
// debug-log line, when the system does not tell.
bool free_space(const std::string& folder, std::uint64_t& bytes) {
  GFile* file = g_file_new_for_path(folder.c_str());
  GError* error = nullptr;
  GFileInfo* info =
      g_file_query_filesystem_info(file, G_FILE_ATTRIBUTE_FILESYSTEM_FREE, nullptr, &error);
  g_object_unref(file);
  if (info == nullptr || !g_file_info_has_attribute(info, G_FILE_ATTRIBUTE_FILESYSTEM_FREE)) {
    debug_log() << "UpdateDialog.cpp(171): " << folder << ": "
                << (error != nullptr ? error->message : "") << "\n";
    if (error != nullptr)
      g_error_free(error);
    if (info != nullptr)
      g_object_unref(info);
    return false;
  }
  bytes = g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_FILESYSTEM_FREE);
  g_object_unref(info);
  return true;
}

// Tells the operator that the download accepted did not come.
void tell_failed_download(GtkWindow* parent, const std::string& text) {
  gtk::message_box(gtk::MessageKind::Error,
                   text + "\n\n" + gettext("The program goes on in its present version."), parent);
}

void open_release_notes(const std::string& address) {
  if (!is_web_address(address)) {
    debug_log() << "UpdateDialog.cpp(127): " << address << "\n";
    return;
  }
  system_open(address);
}

void on_release_notes_clicked(GtkButton*, gpointer address) {
  guarded("UpdateDialog.cpp(130)", "UpdateDialog.cpp(132)",
          [&] { open_release_notes(*static_cast<const std::string*>(address)); });
}

GtkWidget* centred_label(const std::string& markup, const char* id) {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  gtk::set_accessible_id(label, id);
  return label;
}

// Offers the feed's version. Returns true when the operator takes it.
bool offer(GtkWindow* parent, const UpdateInfo& info, const std::string& runningVersion) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      gettext("Update"), parent,
      GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT | GTK_DIALOG_NO_SEPARATOR),
      GTK_STOCK_NO, GTK_RESPONSE_NO, nullptr);
  gtk::set_accessible_id(dialog, "update-offer");
  if (parent == nullptr)
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);

  GtkWidget* column = gtk_vbox_new(FALSE, 8);
  gtk_container_set_border_width(GTK_CONTAINER(column), 8);
  gtk_box_pack_start_defaults(GTK_BOX(GTK_DIALOG(dialog)->vbox), column);
  // The versions come from the feed and the configuration: plain texts inside the markup.
  const std::string available =
      "<b><i>" +
      format(gtk::escape_markup(gettext("%1 is available.")).c_str(),
             "<span color='blue'>" + gtk::escape_markup(info.version()) + "</span>") +
      "</i></b>";
  gtk_box_pack_start_defaults(GTK_BOX(column), centred_label(available, "available"));
  GtkWidget* notes = gtk_button_new_with_mnemonic(gettext("_Show Release Notes"));
  gtk::set_accessible_id(notes, "release-notes");
  // Only a web address goes to the shell: anything else could start a program.
  gtk_widget_set_sensitive(notes, is_web_address(info.release_notes_url()));
  g_signal_connect(notes, "clicked", G_CALLBACK(on_release_notes_clicked),
                   const_cast<std::string*>(&info.release_notes_url()));
  gtk_box_pack_start_defaults(GTK_BOX(column), notes);
  const std::string running =
      format(gtk::escape_markup(
                 gettext("You are using %1 now.\nWould you like to install the new version?"))
                 .c_str(),
             "<span color='blue'><i>" + gtk::escape_markup(runningVersion) + "</i></span>");
  gtk_box_pack_start_defaults(GTK_BOX(column), centred_label(running, "running"));

  GtkWidget* yes = gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_YES, GTK_RESPONSE_YES);
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog), GTK_RESPONSE_YES, GTK_RESPONSE_NO,
                                          -1);
  gtk_widget_show_all(dialog);
  gtk_widget_grab_focus(yes);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_YES;
}

// Fetches the feed under a pulsing box. Returns false, after its debug-log lines, when there is
// no usable feed.
bool look_for_update(GtkWindow* parent, Update& update, const std::string& address,
                     UpdateInfo& info) {
  gtk::ProgressBox box(parent, gtk::ProgressMode::Pulse, 0, 0, feed_box_width);
  box.set_text(InterfaceCallback::first_text, gettext("Looking for updates"));
  Watching watching(update, box);
  box.check();
  if (!Update::start_sockets()) {
    debug_log() << "UpdateDialog.cpp(86)\n";
    return false;
  }
  box.check();
  if (!update.check(address, info)) {
    debug_log() << "UpdateDialog.cpp(91): " << address << "\n";
    return false;
  }
  return true;
}

// Downloads the feed's file into `file` under a box with its progress. Returns false, after its
// debug-log lines, unless the whole file arrived.
bool download(GtkWindow* parent, Update& update, const UpdateInfo& info, const std::string& path,
              StreamFile& file) {
  gtk::ProgressBox box(parent, gtk::ProgressMode::Transfer, info.length(), 0, download_box_width);
  Watching watching(update, box);
  box.set_text(InterfaceCallback::first_text, info.url());
  box.set_text(InterfaceCallback::second_text, path);
  box.check();
  Watching moving(file, box);
  if (!update.fetch(info.url(), file, Update::Body::exactly(info.length()))) {
    debug_log() << "UpdateDialog.cpp(177): " << info.url() << "\n";
    return false;
  }
  return true;
}

} // namespace

bool run_update_dialog(GtkWindow* parent, const std::string& address,
                       const std::string& runningVersion, const UpdateLimits& limits) {
  if (address.empty()) {
    debug_log() << "UpdateDialog.cpp(73)\n";
    return false;
  }
  try {
    Update update;
    update.set_check_limit_ms(limits.checkMs);
    UpdateInfo info;
    if (!look_for_update(parent, update, address, info))
      return false;
    debug_log() << "UpdateDialog.cpp(97): " << info.version() << " " << info.url() << " "
                << info.length() << " " << info.release_notes_url() << "\n";
    if (!(info.version() > runningVersion)) {
      debug_log() << "UpdateDialog.cpp(99): " << runningVersion << "\n";
      return false;
    }
    // What cannot be downloaded safely is not offered.
    const std::string name = update_file_name(info.url());
    if (name.empty()) {
      debug_log() << "UpdateDialog.cpp(103): " << info.url() << "\n";
      return false;
    }
    if (info.length() == 0) {
      debug_log() << "UpdateDialog.cpp(105): " << info.url() << "\n";
      return false;
    }
    if (info.length() > limits.largestDownload) {
      debug_log() << "UpdateDialog.cpp(106): " << info.length() << " " << info.url() << "\n";
      return false;
    }
    if (!offer(parent, info, runningVersion))
      return false;

    // From here on the operator waits for the new version: a failure is told.
    const std::string failed =
        format(gettext("The new version cannot be downloaded from %1."), info.url());
    DownloadFolder folder;
    if (!folder.make()) {
      tell_failed_download(parent, failed);
      return false;
    }
    std::uint64_t room = 0;
    if (!free_space(folder.path(), room) || room < info.length() ||
        room - info.length() < limits.spareSpace) {
      debug_log() << "UpdateDialog.cpp(166): " << folder.path() << " " << room << "\n";
      tell_failed_download(
          parent,
          format(gettext("There is not enough free space in %1 for the new version: it needs %2, "
                         "and %3 are free."),
                 g_get_tmp_dir(), format_size(info.length() + limits.spareSpace),
                 format_size(room)));
      return false;
    }
    const std::string& path = folder.hold(name);
    StreamFile file(path);
    if (!file.is_open()) {
      debug_log() << "UpdateDialog.cpp(167): " << path << "\n";
      tell_failed_download(parent, failed);
      return false;
    }
    if (!download(parent, update, info, path, file)) {
      tell_failed_download(parent, failed);
      return false;
    }
    if (!file.close()) {
      debug_log() << "UpdateDialog.cpp(179): " << path << "\n";
      tell_failed_download(parent, failed);
      return false;
    }
    folder.keep();
    system_open(path);
    return true;
  } catch (const InterruptedException&) {
    debug_log() << "UpdateDialog.cpp(184)\n";
    return false;
  }
}
