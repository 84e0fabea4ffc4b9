#include "MultiWipeUI/MultiWipeUI.h"

#include "Settings.h"
#include "WipeOptionsUI/WipeOptionsUI.h"
#include "gtk/Builder.h"
#include "gtk/WidgetName.h"
#include "parts/DialogPlacement.h"
#include "parts/WipeConfirmation.h"

#include <string>
#include <vector>

namespace {

// The dialog's responses: the four buttons, and the options.
enum Response { StartResponse = 1, StopResponse, PauseResponse, ResumeResponse, OptionsResponse };

void respond(GtkWidget* button, int response) {
  gtk_dialog_response(GTK_DIALOG(gtk_widget_get_toplevel(button)), response);
}

} // namespace

MultiWipeUI::MultiWipeUI(const std::vector<Drive>& drives, GtkWindow* parent) : list(drives) {
  gtk::Builder ui("MultiWipeUI/MultiWipeUI.ui");
  dialog.reset(GTK_WIDGET(ui.get<GtkDialog>("dialog", GTK_TYPE_DIALOG)));
  gtk::set_widget_name(dialog.get(), "MultiWipeUI");
  place_dialog(GTK_WINDOW(dialog.get()), parent);
  gtk_container_add(ui.get<GtkContainer>("vbox", GTK_TYPE_CONTAINER), list.build());
  buttonbox = ui.widget("buttonbox");
  const struct {
    const char* name;
    GCallback clicked;
  } buttons[] = {
      {"start", G_CALLBACK(+[](GtkButton* b, gpointer) { respond(GTK_WIDGET(b), StartResponse); })},
      {"stop", G_CALLBACK(+[](GtkButton* b, gpointer) { respond(GTK_WIDGET(b), StopResponse); })},
      {"pause", G_CALLBACK(+[](GtkButton* b, gpointer) { respond(GTK_WIDGET(b), PauseResponse); })},
      {"resume",
       G_CALLBACK(+[](GtkButton* b, gpointer) { respond(GTK_WIDGET(b), ResumeResponse); })},
  };
  for (const auto& button : buttons)
    g_signal_connect(ui.get<GtkButton>(button.name, GTK_TYPE_BUTTON), "clicked", button.clicked,
                     nullptr);
  list.set_callback(this);
  selection_changed(list);
}

MultiWipeUI::~MultiWipeUI() { list.set_callback(nullptr); }

void MultiWipeUI::selection_changed(MultiSelectUI& changed) {
  bool any = false;
  for (std::size_t i = 0; i < changed.drives().size() && !any; ++i)
    any = changed.is_selected(i);
  gtk_widget_set_sensitive(buttonbox, any);
}

MultiWipeUI::Action MultiWipeUI::run() {
  Action action = Action::None;
  for (bool asking = true; asking;) {
    asking = false;
    switch (gtk_dialog_run(GTK_DIALOG(dialog.get()))) {
    case StartResponse:
      if (confirm_start())
        action = Action::Start;
      else
        asking = true;
      break;
    case StopResponse: action = Action::Stop; break;
    case PauseResponse: action = Action::Pause; break;
    case ResumeResponse: action = Action::Resume; break;
    case OptionsResponse:
      edit_default_options();
      asking = true;
      break;
    default: break;
    }
  }
  gtk_widget_hide(dialog.get());
  return action;
}

bool MultiWipeUI::confirm_start() {
  std::vector<Drive> ticked;
  std::string warnings;
  for (std::size_t i = 0; i < list.drives().size(); ++i) {
    if (!list.is_selected(i))
      continue;
    const Drive& drive = list.drives()[i];
    ticked.push_back(drive);
    if (drive.warning().empty())
      continue;
    if (!warnings.empty())
      warnings += "\n";
    warnings += drive_warning_text(drive);
  }
  return confirm_unrecorded_wipe(dialog.get()) &&
         confirm_wipe(drives_to_wipe_text(ticked), warnings, dialog.get());
}

void MultiWipeUI::edit_default_options() {
  WipeOptions options = Settings::instance().wipe_options();
  WipeOptionsUI editor(dialog.get());
  if (editor.run(options))
    Settings::instance().set_wipe_options(options);
}
