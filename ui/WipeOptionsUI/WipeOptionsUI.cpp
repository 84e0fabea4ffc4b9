#include "WipeOptionsUI/WipeOptionsUI.h"

#include "gtk/Builder.h"
#include "gtk/CVWStyle.h"
#include "gtk/MessageBox.h"
#include "gtk/WidgetName.h"

WipeOptionsUI::WipeOptionsUI(GtkWidget* parent)
    : WipeOptionsUI(gtk::Builder("WipeOptionsUI/WipeOptionsUI.ui"), parent) {}

WipeOptionsUI::WipeOptionsUI(const gtk::Builder& ui, GtkWidget* parent)
    : dialog_(ui.get<GtkWidget>("dialog", GTK_TYPE_DIALOG)), editor(dialog_.get()) {
  GtkWindow* window = GTK_WINDOW(dialog_.get());
  gtk::set_widget_name(dialog_.get(), "WipeOptionsUI");
  if (GtkWindow* owner = gtk::window_of(parent)) {
    gtk_window_set_transient_for(window, owner);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  }
  gtk_dialog_set_alternative_button_order(GTK_DIALOG(window), GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL,
                                          -1);

  editor.bind_sectors_per_time(ui.get<GtkSpinButton>("sectorsPerTime", GTK_TYPE_SPIN_BUTTON));
  editor.bind_pattern(ui.get<GtkEntry>("fillPattern", GTK_TYPE_ENTRY));
  editor.bind_pattern_file_button(ui.get<GtkButton>("fillPatternFromFile", GTK_TYPE_BUTTON));
  editor.bind_ignore_write_errors(
      ui.get<GtkToggleButton>("ignoreWriteErrors", GTK_TYPE_TOGGLE_BUTTON));
  editor.bind_ignore_read_errors(
      ui.get<GtkToggleButton>("ignoreReadErrors", GTK_TYPE_TOGGLE_BUTTON));
  editor.bind_ignore_compare_errors(
      ui.get<GtkToggleButton>("ignoreCompareErrors", GTK_TYPE_TOGGLE_BUTTON));
  editor.bind_method(ui.get<GtkComboBox>("operationMode", GTK_TYPE_COMBO_BOX));
  gtk::set_combo_popup_name(ui.get<GtkComboBox>("operationMode", GTK_TYPE_COMBO_BOX));
  editor.bind_jump_sectors(ui.get<GtkSpinButton>("jumpSectors", GTK_TYPE_SPIN_BUTTON));
  editor.bind_jump_double(ui.get<GtkToggleButton>("jumpDouble", GTK_TYPE_TOGGLE_BUTTON));
  editor.bind_verify(ui.get<GtkToggleButton>("verify", GTK_TYPE_TOGGLE_BUTTON));
}

bool WipeOptionsUI::run(WipeOptions& options) {
  editor.load(options);
  GtkDialog* dialog = GTK_DIALOG(dialog_.get());
  bool accepted = false;
  for (;;) {
    if (gtk_dialog_run(dialog) != GTK_RESPONSE_OK)
      break;
    if (editor.apply(options)) {
      accepted = true;
      break;
    }
  }
  gtk_widget_hide(dialog_.get());
  return accepted;
}
