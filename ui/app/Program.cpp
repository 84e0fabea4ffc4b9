#include "app/Program.h"

#include "DebugLog.h"
#include "Format.h"
#include "ProgramConfig.h"
#include "Strings.h"
#include "Translation.h"
#include "gtk/Markup.h"
#include "gtk/MessageBox.h"
#include "gtk/WidgetName.h"

#include <exception>
#include <ostream>
#include <string>
#include <vector>

namespace {

// The pieces of a comma-separated list of file names, each trimmed of blanks and tabs; every
// piece counts, empty ones too.
std::vector<std::string> file_names(const std::string& list) {
  std::vector<std::string> names;
  split(list, names, ',');
  for (std::string& name : names)
    trim(name, " \t");
  return names;
}

// Markup as the plain text it shows; the text itself when it is not valid markup.
std::string plain_text(const std::string& markup) {
  gchar* text = nullptr;
  if (!pango_parse_markup(markup.c_str(), -1, 0, nullptr, &text, nullptr, nullptr))
    return markup; // the box makes it valid UTF-8
  std::string plain(text);
  g_free(text);
  return plain;
}

// What the question adds when quitting would stop wipes; empty when none runs.
std::string unfinished_wipes_text(const PropertyMap& table) {
  const int count = table.get_number("Unfinished Wipes", 0);
  if (count <= 0)
    return "";
  return format(ngettext("%1 wipe has not finished: quitting stops it.",
                         "%1 wipes have not finished: quitting stops them.", count),
                std::to_string(count));
}

QuitCode ask_plain(GtkWindow* parent, const PropertyMap& table) {
  std::string question = gettext("Do you want to quit the program?");
  const std::string& quitText = table.get("Quit Text");
  if (!quitText.empty())
    question += "\n\n" + plain_text(quitText);
  const std::string unfinished = unfinished_wipes_text(table);
  if (!unfinished.empty())
    question += "\n\n" + unfinished;
  return gtk::message_box(gtk::MessageKind::Question, question, parent, gtk::DefaultButton::No) ==
                 gtk::answer_yes
             ? QuitCode::Desktop
             : QuitCode::Stay;
}

// One of the two big buttons of the system's choices, with its picture when it loads.
GtkWidget* system_choice_button(const char* text, const char* name, const std::string& picture) {
  GtkWidget* button = gtk_button_new_with_mnemonic(text);
  gtk::set_widget_name(button, name);
  if (!picture.empty()) {
    if (GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_size(picture.c_str(), 48, 48, nullptr)) {
      GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf);
      g_object_unref(pixbuf);
      gtk_button_set_image(GTK_BUTTON(button), image);
      gtk_widget_show(image);
    }
  }
  gtk_button_set_alignment(GTK_BUTTON(button), 0, 0.5);
  return button;
}

QuitCode ask_desktop(GtkWindow* parent, const PropertyMap& table) {
  const std::string& name = table.get("Program Name");
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      name.c_str(), parent,
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT |
                                  GTK_DIALOG_NO_SEPARATOR),
      GTK_STOCK_CANCEL, GTK_RESPONSE_REJECT, nullptr);
  gtk::set_widget_name(dialog, "QuitDialog");
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_container_set_border_width(GTK_CONTAINER(dialog), 6);
  if (parent == nullptr)
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);

  gtk_widget_ensure_style(dialog);
  gint buttonSpacing = 0;
  gint border = 0;
  gtk_widget_style_get(dialog, "button-spacing", &buttonSpacing, "action-area-border", &border,
                       nullptr);
  GtkWidget* choices = gtk_vbox_new(FALSE, buttonSpacing);
  // Room for the two big buttons beside their pictures, in any language.
  gtk_widget_set_size_request(choices, 320, -1);
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), choices, FALSE, FALSE, 0);
  gtk_container_set_border_width(GTK_CONTAINER(choices), border);

  // The two system choices stand one above the other over the action area, and still answer
  // as the dialog's action widgets do.
  const std::vector<std::string> icons = file_names(table.get("Quit Icons"));
  const std::string folder = table.get("Program Path") + "/";
  const struct {
    const char* text;
    const char* name;
  } systemChoices[] = {{gettext("Shut down the system"), "shutdown"},
                       {gettext("Restart the system"), "restart"}};
  for (int index = 0; index < 2; ++index) {
    const std::string picture = index < static_cast<int>(icons.size()) && !icons[index].empty()
                                    ? folder + icons[index]
                                    : std::string();
    GtkWidget* button =
        system_choice_button(systemChoices[index].text, systemChoices[index].name, picture);
    gtk_dialog_add_action_widget(GTK_DIALOG(dialog), button,
                                 exit_code(index == 0 ? QuitCode::Shutdown : QuitCode::Restart));
    g_object_ref(button);
    gtk_container_remove(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area), button);
    gtk_box_pack_start(GTK_BOX(choices), button, FALSE, FALSE, 0);
    g_object_unref(button);
  }

  GtkWidget* desktop = gtk_dialog_add_button(GTK_DIALOG(dialog), gettext("OS Desktop"),
                                             exit_code(QuitCode::Desktop));
  gtk::set_widget_name(desktop, "desktop");
  gtk_button_box_set_child_secondary(GTK_BUTTON_BOX(GTK_DIALOG(dialog)->action_area), desktop,
                                     TRUE);

  const std::string& quitText = table.get("Quit Text");
  if (!quitText.empty()) {
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label), valid_utf8(quitText).c_str());
    gtk_box_pack_start(GTK_BOX(choices), label, FALSE, FALSE, 0);
  }
  const std::string unfinished = unfinished_wipes_text(table);
  if (!unfinished.empty()) {
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label),
                         ("<b>" + gtk::escape_markup(unfinished) + "</b>").c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_box_pack_start(GTK_BOX(choices), label, FALSE, FALSE, 0);
  }

  if (GtkWidget* cancel =
          gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_REJECT))
    gtk_widget_grab_focus(cancel);
  gtk_widget_show_all(dialog);

  int response;
  for (;;) {
    response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response != exit_code(QuitCode::Desktop))
      break;
    const std::string question = format(
        gettext("Are you sure you want to quit %1\nand exit to the Linux OS Desktop?"), name);
    if (gtk::message_box(gtk::MessageKind::Question, question, GTK_WINDOW(dialog),
                         gtk::DefaultButton::No) == gtk::answer_yes)
      break;
  }
  gtk_widget_destroy(dialog);
  for (QuitCode way : {QuitCode::Shutdown, QuitCode::Restart, QuitCode::Desktop})
    if (response == exit_code(way))
      return way;
  return QuitCode::Stay;
}

// The question's table from the program configuration. Throws what reading a member that is
// missing or of another type throws.
PropertyMap quit_table(const config::Value& configuration) {
  PropertyMap table;
  const bool desktop = configuration.has("Desktop") && configuration.get_boolean("Desktop");
  table.set_string("Desktop", desktop ? "1" : "0", PropertyMap::Existing::Replace);
  if (desktop) {
    copy_config_string(configuration, table, "Program Name");
    copy_config_string(configuration, table, "Program Path");
    copy_config_string(configuration, table, "Quit Icons");
  }
  if (configuration.has("Quit Text"))
    copy_config_string(configuration, table, "Quit Text");
  return table;
}

} // namespace

void set_default_window_icons(const PropertyMap& table) {
  GList* icons = nullptr;
  for (const std::string& name : file_names(table.get("Program Window Icons"))) {
    const std::string path = table.get("Program Path") + "/" + name;
    if (GdkPixbuf* icon = gdk_pixbuf_new_from_file(path.c_str(), nullptr))
      icons = g_list_append(icons, icon);
    else
      debug_log() << "Program.cpp(24): " << path << "\n";
  }
  gtk_window_set_default_icon_list(icons);
  g_list_free_full(icons, g_object_unref);
}

QuitCode confirm_quit(GtkWindow* parent, int unfinishedWipes) {
  PropertyMap table;
  try {
    table = quit_table(program_config());
  } catch (const std::exception& e) {
    // A mistake in the configuration must never keep the operator in the program.
    debug_log() << "Program.cpp(172): the quit configuration cannot be used (" << e.what()
                << "): the plain question is asked\n";
  }
  table.set_number("Unfinished Wipes", unfinishedWipes > 0 ? unfinishedWipes : 0,
                   PropertyMap::Existing::Replace);
  return quit_dialog(parent, table);
}

QuitCode quit_dialog(GtkWindow* parent, const PropertyMap& table) {
  return table.get_number("Desktop", 0) != 0 ? ask_desktop(parent, table)
                                             : ask_plain(parent, table);
}
