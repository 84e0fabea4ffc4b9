#include "MainLogUI/MainLogUI.h"

#include "Format.h"
#include "Translation.h"
#include "Win32Process.h"
#include "gtk/Builder.h"
#include "gtk/FileChooser.h"
#include "gtk/MessageBox.h"
#include "gtk/WidgetName.h"
#include "parts/DialogPlacement.h"
#include "parts/FileError.h"
#include "parts/FileSaver.h"

namespace {

// The actions of the window's buttons, by response.
enum Action {
  ExportText = 1,
  ExportCsv = 2,
  SaveHistory = 3,
  LoadHistory = 4,
  ClearHistory = 5,
};

class MainLogSaver : public gtk::FileChooser {
public:
  MainLogSaver(const MainLog& log, GtkWindow* parent) : log(log), parent(parent) {}
  bool run() { return save(parent, "WipeLog.cfg", nullptr, Overwrite::Ask); }
  bool accept(GtkWindow* dialog, const char* fileName) override {
    if (log.save(fileName)) {
      platform::give_file_to_operator(fileName);
      return true;
    }
    show_file_error(N_("Cannot save file"), fileName, dialog);
    return false;
  }

private:
  const MainLog& log;
  GtkWindow* parent;
};

// A history that loads replaces the one shown; one that does not leaves it as it was.
class MainLogLoader : public gtk::FileChooser {
public:
  MainLogLoader(MainLog& log, GtkWindow* parent) : log(log), parent(parent) {}
  bool run() { return open(parent, nullptr); }
  bool accept(GtkWindow* dialog, const char* fileName) override {
    if (log.load(fileName))
      return true;
    show_file_error(N_("Cannot load file"), fileName, dialog);
    return false;
  }

private:
  MainLog& log;
  GtkWindow* parent;
};

// The records cannot be had back once cleared (the empty history is what gets saved), so the
// operator is asked, No being the default. An empty history has nothing to lose.
bool clear_confirmed(const MainLog& log, GtkWindow* window) {
  const std::size_t records = log.entries().size();
  if (records == 0)
    return true;
  const std::string text =
      format(ngettext("Clear the wipe history?\n\nIts wipe record will be erased.",
                      "Clear the wipe history?\n\nIts %1 wipe records will be erased.",
                      static_cast<unsigned long>(records)),
             std::to_string(records));
  return gtk::message_box(gtk::MessageKind::Question, text, window, gtk::DefaultButton::No) ==
         gtk::answer_yes;
}

} // namespace

MainLogUI::MainLogUI(MainLog& log, GtkWindow* parent) : log(log) {
  gtk::Builder ui("MainLogUI/MainLogUI.ui");
  dialog.reset(GTK_WIDGET(ui.get<GtkDialog>("dialog", GTK_TYPE_DIALOG)));
  gtk::set_widget_name(dialog.get(), "MainLogUI");
  place_dialog(GTK_WINDOW(dialog.get()), parent);
  GtkTextView* textView = ui.get<GtkTextView>("textview", GTK_TYPE_TEXT_VIEW);
  gtk::set_widget_name(GTK_WIDGET(textView), "textview");
  view.emplace(textView, ui.get<GtkTextBuffer>("textbuffer", GTK_TYPE_TEXT_BUFFER));
  reset(log);
  log.set_callback(this);
}

MainLogUI::~MainLogUI() { log.set_callback(nullptr); }

void MainLogUI::reset(const MainLog& history) {
  view->clear();
  view->append(history.to_text());
}

void MainLogUI::added(const MainLog& history) {
  if (history.entries().size() >= 2)
    view->append("\n");
  view->append(history.entries().back().to_text());
}

void MainLogUI::run() {
  GtkWindow* window = GTK_WINDOW(dialog.get());
  for (;;) {
    switch (gtk_dialog_run(GTK_DIALOG(window))) {
    case ExportText: FileSaver("WipeLog.txt", view->text(), window).run(); break;
    case ExportCsv: FileSaver("WipeLog.csv", log.to_csv(), window).run(); break;
    case SaveHistory: MainLogSaver(log, window).run(); break;
    case LoadHistory: MainLogLoader(log, window).run(); break;
    case ClearHistory:
      if (clear_confirmed(log, window))
        log.assign({});
      break;
    default:
      log.set_callback(nullptr);
      dialog.reset();
      return;
    }
  }
}
