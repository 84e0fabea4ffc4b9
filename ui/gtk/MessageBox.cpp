#include "gtk/MessageBox.h"

#include "Translation.h"
#include "gtk/GtkResizableLabel.h"
#include "gtk/Markup.h"
#include "gtk/WidgetName.h"

#include <vector>

namespace gtk {

namespace {

struct Look {
  const char* title;
  const char* icon;
  bool yesNo;
  const char* closeButton; // the one button of a box without Yes and No
  const char* closeId;     // its accessible id
  const char* id;          // the box's accessible id
};

Look look_of(MessageKind kind) {
  switch (kind) {
  // clang-format off
  case MessageKind::Question:    return {N_("Question"),    GTK_STOCK_DIALOG_QUESTION, true,  nullptr,         nullptr, "question"};
  case MessageKind::Warning:     return {N_("Warning"),     GTK_STOCK_DIALOG_WARNING,  true,  nullptr,         nullptr, "warning"};
  case MessageKind::Information: return {N_("Information"), GTK_STOCK_DIALOG_INFO,     false, GTK_STOCK_CLOSE, "close", "information"};
  case MessageKind::Ok:          return {N_("Information"), GTK_STOCK_DIALOG_INFO,     false, GTK_STOCK_OK,    "ok",    "information"};
  case MessageKind::Error:
  default:                       return {N_("Error"),       GTK_STOCK_DIALOG_ERROR,    false, GTK_STOCK_CLOSE, "close", "error"};
    // clang-format on
  }
}

// The widest the text of a box is at first.
constexpr int text_width = 500;

// One wrapping label of the text in `body`, `indent` pixels in from the text's edge.
void text_part(GtkWidget* body, const std::string& text, int indent,
               std::vector<GtkWidget*>& labels) {
  GtkWidget* label = gtk_resizable_label_new(escape_markup(text).c_str(), text_width - indent);
  labels.push_back(label);
  GtkWidget* place = gtk_alignment_new(0, 0, 1, 1);
  gtk_alignment_set_padding(GTK_ALIGNMENT(place), 0, 0, static_cast<guint>(indent), 0);
  gtk_container_add(GTK_CONTAINER(place), label);
  gtk_box_pack_start(GTK_BOX(body), place, FALSE, FALSE, 0);
}

// How wide `blanks` are in the font of `widget`.
int width_of(GtkWidget* widget, const std::string& blanks) {
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, blanks.c_str());
  int width = 0;
  pango_layout_get_pixel_size(layout, &width, nullptr);
  g_object_unref(layout);
  return width;
}

// The text in wrapping labels. A line that begins with blanks is an item of a list (a drive a
// wipe is about to wipe, say): it has a label of its own, set in by its blanks, so that what of
// it does not fit on its line goes on under the item's own beginning, not at the box's edge.
// The labels go into `labels`.
GtkWidget* message_body(const std::string& text, std::vector<GtkWidget*>& labels) {
  GtkWidget* body = gtk_vbox_new(FALSE, 0);
  std::string paragraph;
  bool inParagraph = false;
  auto endParagraph = [&] {
    if (inParagraph)
      text_part(body, paragraph, 0, labels);
    paragraph.clear();
    inParagraph = false;
  };
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    const std::size_t blanks = line.find_first_not_of(' ');
    if (blanks != 0 && blanks != std::string::npos) {
      endParagraph();
      text_part(body, line.substr(blanks), width_of(body, line.substr(0, blanks)), labels);
    } else {
      paragraph += (inParagraph ? "\n" : "") + line;
      inParagraph = true;
    }
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  endParagraph();
  return body;
}

} // namespace

int message_box(MessageKind kind, const std::string& text, GtkWindow* parent,
                DefaultButton enterPresses) {
  const bool defaultNo = enterPresses == DefaultButton::No;
  const Look look = look_of(kind);
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      nullptr, parent,
      GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT | GTK_DIALOG_NO_SEPARATOR),
      nullptr, nullptr);
  gtk_window_set_title(GTK_WINDOW(dialog), gettext(look.title));
  set_accessible_id(dialog, look.id);

  gtk_widget_ensure_style(dialog);
  gint border = 0;
  gint spacing = 0;
  gtk_widget_style_get(dialog, "action-area-border", &border, "button-spacing", &spacing, nullptr);

  GtkWidget* outer = gtk_vbox_new(FALSE, spacing);
  gtk_container_set_border_width(GTK_CONTAINER(outer), static_cast<guint>(border));
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), outer, FALSE, FALSE, 0);
  GtkWidget* row = gtk_hbox_new(FALSE, spacing);
  gtk_box_pack_start_defaults(GTK_BOX(outer), row);
  GtkWidget* icon = gtk_image_new_from_stock(look.icon, GTK_ICON_SIZE_DIALOG);
  gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
  GtkWidget* column = gtk_vbox_new(FALSE, 0);
  gtk_box_pack_start_defaults(GTK_BOX(row), column);
  std::vector<GtkWidget*> labels;
  GtkWidget* body = message_body(text, labels);
  set_accessible_id(body, "message");
  gtk_box_pack_start(GTK_BOX(column), body, TRUE, FALSE, 0);

  GtkWidget* defaultButton = nullptr;
  if (look.yesNo) {
    GtkWidget* no = gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_NO, GTK_RESPONSE_REJECT);
    GtkWidget* yes = gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_YES, GTK_RESPONSE_ACCEPT);
    set_accessible_id(no, "no");
    set_accessible_id(yes, "yes");
    gtk_dialog_set_alternative_button_order(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT,
                                            GTK_RESPONSE_REJECT, -1);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                    defaultNo ? GTK_RESPONSE_REJECT : GTK_RESPONSE_ACCEPT);
    defaultButton = defaultNo ? no : yes;
  } else {
    defaultButton =
        gtk_dialog_add_button(GTK_DIALOG(dialog), look.closeButton, GTK_RESPONSE_REJECT);
    set_accessible_id(defaultButton, look.closeId);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_REJECT);
  }
  gtk_widget_grab_focus(defaultButton);

  gtk_widget_show_all(dialog);
  // Shown at the width its text asks for, the box can be made narrower: the text wraps again.
  for (GtkWidget* label : labels)
    gtk_resizable_label_set_width(GTK_RESIZABLE_LABEL(label), 100);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (!look.yesNo)
    return answer_yes;
  return response == GTK_RESPONSE_ACCEPT ? answer_yes : answer_other;
}

GtkWindow* window_of(GtkWidget* widget) {
  if (widget == nullptr)
    return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  return gtk_widget_is_toplevel(top) && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
}

} // namespace gtk
