#include "HiddenDrivesUI/HiddenDrivesUI.h"

#include "gtk/Builder.h"
#include "gtk/WidgetName.h"
#include "parts/DialogPlacement.h"

HiddenDrivesUI::HiddenDrivesUI(const std::vector<Drive>& drives, GtkWindow* parent)
    : MultiSelectUI(drives) {
  gtk::Builder ui("HiddenDrivesUI/HiddenDrivesUI.ui");
  dialog.reset(GTK_WIDGET(ui.get<GtkDialog>("dialog", GTK_TYPE_DIALOG)));
  gtk::set_widget_name(dialog.get(), "HiddenDrivesUI");
  place_dialog(GTK_WINDOW(dialog.get()), parent);
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog.get()), GTK_RESPONSE_OK,
                                          GTK_RESPONSE_CANCEL, -1);
  gtk_container_add(ui.get<GtkContainer>("vbox", GTK_TYPE_CONTAINER), build());
}

HiddenDrivesUI::~HiddenDrivesUI() = default;

bool HiddenDrivesUI::run() {
  const bool ok = gtk_dialog_run(GTK_DIALOG(dialog.get())) == GTK_RESPONSE_OK;
  gtk_widget_hide(dialog.get());
  return ok;
}

bool HiddenDrivesUI::edit(Settings& settings) {
  const std::vector<Drive>& shown = drives();
  for (std::size_t i = 0; i < shown.size(); ++i)
    set_selected(i, settings.is_hidden(shown[i]));
  if (!run())
    return false;
  std::vector<Drive> ticked;
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (is_selected(i))
      ticked.push_back(shown[i]);
  settings.set_hidden_drives(ticked);
  return true;
}
