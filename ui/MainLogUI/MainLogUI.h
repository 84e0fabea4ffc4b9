// The wipe history window: the history as text, following every wipe that ends while it is
// open, with its text and CSV exports, saving and loading of history files, and clearing.
#pragma once

#include "MainLog.h"
#include "gtk/WidgetRef.h"
#include "parts/LogTextView.h"

#include <gtk/gtk.h>

#include <optional>

class MainLogUI : public MainLog::Callback {
public:
  // The window over `log` (observed while the window lives), centred on `parent` or, without
  // one, on the screen. Throws what gtk::Builder throws.
  MainLogUI(MainLog& log, GtkWindow* parent);
  MainLogUI(const MainLogUI&) = delete;
  MainLogUI& operator=(const MainLogUI&) = delete;
  ~MainLogUI() override;

  // Runs the window until the operator closes it; the window is gone afterwards and no longer
  // follows the history. What a
  // history file that cannot be understood throws on loading ends the run and passes.
  void run();

  // The dialog, null once run has ended.
  GtkWidget* window() const { return dialog.get(); }
  // What the window shows; while it runs.
  std::string text() const { return view->text(); }

private:
  void reset(const MainLog& log) override;
  void added(const MainLog& log) override;

  MainLog& log;
  gtk::WidgetRef dialog;
  std::optional<LogTextView> view;
};
