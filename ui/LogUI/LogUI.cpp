#include "LogUI/LogUI.h"

#include "gtk/Builder.h"
#include "gtk/WidgetName.h"
#include "parts/FileSaver.h"

namespace {

constexpr int save_text = 1;

} // namespace

LogUI::LogUI(Log& log, GtkWindow* parent) : log(log) {
  gtk::Builder ui("LogUI/LogUI.ui");
  dialog.reset(GTK_WIDGET(ui.get<GtkDialog>("dialog", GTK_TYPE_DIALOG)));
  gtk::set_widget_name(dialog.get(), "LogUI");
  if (parent != nullptr) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog.get()), parent);
    gtk_window_set_position(GTK_WINDOW(dialog.get()), GTK_WIN_POS_CENTER_ON_PARENT);
  }
  GtkTextView* textView = ui.get<GtkTextView>("textview", GTK_TYPE_TEXT_VIEW);
  gtk::set_widget_name(GTK_WIDGET(textView), "textview");
  view.emplace(textView, ui.get<GtkTextBuffer>("textbuffer", GTK_TYPE_TEXT_BUFFER));
  topbox = GTK_WIDGET(ui.get<GtkContainer>("topbox", GTK_TYPE_CONTAINER));
  appended(log.text());
  log.set_callback(this);
}

LogUI::~LogUI() {
  log.set_callback(nullptr);
  certificate_.reset();
}

void LogUI::appended(const std::string& piece) {
  view->append(piece);
  if (certificate_ != nullptr || !log.record().finished())
    return;
  certificate_ = std::make_unique<WipeCertificateUI>(log.record(), GTK_WINDOW(dialog.get()));
  gtk_container_add(GTK_CONTAINER(topbox), certificate_->widget());
  gtk_widget_show(topbox);
}

void LogUI::run() {
  for (;;) {
    if (gtk_dialog_run(GTK_DIALOG(dialog.get())) != save_text)
      break;
    FileSaver("Log.txt", view->text(), GTK_WINDOW(dialog.get())).run();
  }
  log.set_callback(nullptr);
  dialog.reset();
}
