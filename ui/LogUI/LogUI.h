// A drive task's log window: the log as text, following it while the wipe runs, with the wipe
// certificate shown as soon as the task's wipe has finished; the text can be saved.
#pragma once

#include "Log.h"
#include "WipeCertificateUI/WipeCertificateUI.h"
#include "gtk/WidgetRef.h"
#include "parts/LogTextView.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>

class LogUI : public Log::Callback {
public:
  // The window over `log` (observed while the window lives), centred on `parent` when there is
  // one. Throws what gtk::Builder throws.
  LogUI(Log& log, GtkWindow* parent);
  LogUI(const LogUI&) = delete;
  LogUI& operator=(const LogUI&) = delete;
  ~LogUI() override;

  // Runs the window until the operator closes it; the window is gone afterwards and no longer
  // follows the log.
  void run();

  // The dialog, null once run has ended.
  GtkWidget* window() const { return dialog.get(); }
  // What the window shows; while it runs.
  std::string text() const { return view->text(); }
  // The certificate, null until the wipe has finished.
  const WipeCertificateUI* certificate() const { return certificate_.get(); }

private:
  void appended(const std::string& piece) override;

  Log& log;
  gtk::WidgetRef dialog;
  std::optional<LogTextView> view;
  GtkWidget* topbox = nullptr;
  std::unique_ptr<WipeCertificateUI> certificate_;
};
