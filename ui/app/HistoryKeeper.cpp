#include "app/HistoryKeeper.h"

#include "DebugLog.h"
#include "Format.h"
#include "Guarded.h"
#include "Translation.h"
#include "gtk/MessageBox.h"

#include <ostream>

HistoryKeeper::HistoryKeeper(MainLog& log, const GuardedFile& file, GtkWindow* window)
    : log(log), path(file.path()), refused(!file.has_folder()), window(window) {
  log.keep_in(file, this);
}

HistoryKeeper::~HistoryKeeper() { log.keep_in(GuardedFile(), nullptr); }

bool HistoryKeeper::tell_if_unwritable() {
  std::string why;
  if (refused) {
    log.can_save_kept(why);
    debug_log() << "HistoryKeeper.cpp(70): " << path << ": " << why << "\n";
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The wipe log %1 cannot be used: %2.\n\nNothing is read "
                                    "from it or written to it: the wipes finished in this "
                                    "session are not recorded in it."),
                            path, why),
                     window);
    return false;
  }
  if (log.can_save_kept(why))
    return true;
  debug_log() << "HistoryKeeper.cpp(60): " << path << ": " << why << "\n";
  gtk::message_box(gtk::MessageKind::Error,
                   format(gettext("The wipe log %1 cannot be written: %2.\n\nThe wipes "
                                  "finished in this session are not recorded in it until it can "
                                  "be written."),
                          path, why),
                   window);
  return false;
}

bool HistoryKeeper::save_now() { return log.save_kept(); }

bool HistoryKeeper::save_at_exit(bool tell) {
  const bool saved = log.save_kept();
  telling.reset();
  if (!saved && tell && !refused)
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The wipe log cannot be saved to %1.\n\nThe wipes finished "
                                    "in this session are not recorded in it."),
                            path),
                     window);
  return saved;
}

void HistoryKeeper::saved(const std::string&, bool saved) {
  if (saved) {
    failing = false;
    telling.reset();
    return;
  }
  debug_log() << "HistoryKeeper.cpp(37): " << path << "\n";
  if (failing || refused)
    return;
  failing = true;
  telling.reset(g_idle_add(on_tell, this));
}

gboolean HistoryKeeper::on_tell(gpointer self) {
  auto& keeper = *static_cast<HistoryKeeper*>(self);
  keeper.telling.forget();
  guarded("HistoryKeeper.cpp(47)", "HistoryKeeper.cpp(49)", [&] {
    gtk::message_box(gtk::MessageKind::Error,
                     format(gettext("The wipe log cannot be saved to %1.\n\nThe finished wipes "
                                    "are kept in memory and saved again after the next wipe "
                                    "and when the program ends."),
                            keeper.path),
                     keeper.window);
  });
  return FALSE;
}
