#include "parts/WipeOptionsEditor.h"

#include "FillPattern.h"
#include "Format.h"
#include "Guarded.h"
#include "Translation.h"
#include "WipeMethod.h"
#include "gtk/CVWStyle.h"
#include "gtk/HandlerBlock.h"
#include "gtk/MessageBox.h"
#include "gtk/UnsignedValue.h"
#include "parts/PatternFileChooser.h"

#include <stdexcept>

namespace {

// The pattern file chooser reads at most this many bytes of a file.
constexpr std::uint32_t pattern_file_limit = 4096;

void set_range(GtkSpinButton* spin, double upper) {
  gtk_spin_button_set_adjustment(spin, GTK_ADJUSTMENT(gtk_adjustment_new(1, 1, upper, 1, 10, 0)));
  gtk_spin_button_set_digits(spin, 0);
}

void set_active(GtkToggleButton* toggle, bool on) { gtk_toggle_button_set_active(toggle, on); }
bool is_active(GtkToggleButton* toggle) { return gtk_toggle_button_get_active(toggle) != FALSE; }

template <typename Widget> void make_sensitive(Widget* widget, bool on) {
  gtk_widget_set_sensitive(GTK_WIDGET(widget), on);
}

// A value the operator typed counts even when the spin button has not taken it yet.
std::uint64_t spin_value(GtkSpinButton* spin) {
  gtk_spin_button_update(spin);
  return gtk::unsigned_value(spin);
}

} // namespace

WipeOptionsEditor::WipeOptionsEditor(GtkWidget* parent) : parent(parent) {}

void WipeOptionsEditor::bind_sectors_per_time(GtkSpinButton* spin) {
  sectorsPerTime = spin;
  set_range(spin, 65536);
}

void WipeOptionsEditor::bind_pattern(GtkEntry* entry) { fillPattern = entry; }

void WipeOptionsEditor::bind_pattern_file_button(GtkButton* button) {
  fillPatternFromFile = button;
  g_signal_connect(button, "clicked", G_CALLBACK(on_pattern_from_file), this);
}

void WipeOptionsEditor::bind_ignore_write_errors(GtkToggleButton* toggle) {
  ignoreWriteErrors = toggle;
}

void WipeOptionsEditor::bind_ignore_read_errors(GtkToggleButton* toggle) {
  ignoreReadErrors = toggle;
}

void WipeOptionsEditor::bind_ignore_compare_errors(GtkToggleButton* toggle) {
  ignoreCompareErrors = toggle;
}

void WipeOptionsEditor::bind_method(GtkComboBox* combo) {
  operationMode = combo;
  for (int i = 0; i < WipeMethod::count; ++i)
    gtk_combo_box_append_text(combo, WipeMethod::by_index(i).name());
  g_signal_connect(combo, "changed", G_CALLBACK(on_method_changed), this);

  GtkWidget* menu = gtk::attached_menu(GTK_WIDGET(combo));
  if (menu == nullptr)
    throw std::runtime_error("WipeOptionsEditor.cpp(80)");
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  int i = 0;
  for (GList* item = items; item != nullptr && i < WipeMethod::count; item = item->next, ++i)
    gtk_widget_set_tooltip_markup(GTK_WIDGET(item->data), WipeMethod::by_index(i).description());
  g_list_free(items);
  if (i < WipeMethod::count)
    throw std::runtime_error("WipeOptionsEditor.cpp(89)");
}

void WipeOptionsEditor::bind_jump_sectors(GtkSpinButton* spin) {
  jumpSectors = spin;
  set_range(spin, 65535);
}

void WipeOptionsEditor::bind_jump_double(GtkToggleButton* toggle) { jumpDouble = toggle; }

void WipeOptionsEditor::bind_verify(GtkToggleButton* toggle) { verify = toggle; }

void WipeOptionsEditor::check() const {
  const struct {
    const void* control;
    const char* error;
  } controls[] = {
      {sectorsPerTime, "WipeOptionsEditor.cpp(229)"},
      {fillPattern, "WipeOptionsEditor.cpp(230)"},
      {fillPatternFromFile, "WipeOptionsEditor.cpp(231)"},
      {ignoreWriteErrors, "WipeOptionsEditor.cpp(232)"},
      {ignoreReadErrors, "WipeOptionsEditor.cpp(233)"},
      {ignoreCompareErrors, "WipeOptionsEditor.cpp(234)"},
      {operationMode, "WipeOptionsEditor.cpp(235)"},
      {jumpSectors, "WipeOptionsEditor.cpp(236)"},
      {jumpDouble, "WipeOptionsEditor.cpp(237)"},
      {verify, "WipeOptionsEditor.cpp(238)"},
  };
  for (const auto& control : controls)
    if (control.control == nullptr)
      throw std::runtime_error(control.error);
}

void WipeOptionsEditor::load(const WipeOptions& options) {
  check();
  WipeMethod::by_index(options.mode()); // an unknown method throws before anything changes

  // The values put aside belong to what was shown before: keeping them would bring back, at
  // the next method switch, a pattern or a verify choice that the loaded options do not hold.
  patternSaved = false;
  savedPattern.clear();
  verifySaved = false;
  savedVerify = false;

  gtk_spin_button_set_value(sectorsPerTime, options.sectors_per_time());
  gtk_entry_set_text(fillPattern, pattern_to_text(options.pattern()).c_str());
  set_active(ignoreWriteErrors, options.ignore_write_errors());
  set_active(ignoreReadErrors, options.ignore_read_errors());
  set_active(ignoreCompareErrors, options.ignore_compare_errors());
  // The method's own follow-up waits until every control shows the loaded values, so that
  // what it puts aside is what was loaded.
  {
    gtk::HandlerBlock hold(operationMode, G_CALLBACK(on_method_changed), this);
    gtk_combo_box_set_active(operationMode, options.mode());
  }
  gtk_spin_button_set_value(jumpSectors, options.jump_after_error_sectors());
  set_active(jumpDouble, options.jump_after_error_double());
  set_active(verify, options.verify());
  update_dependent();
}

void WipeOptionsEditor::update_dependent() {
  const WipeMethod& method = WipeMethod::by_index(gtk_combo_box_get_active(operationMode));
  if (method.uses_pattern()) {
    if (patternSaved) {
      gtk_entry_set_text(fillPattern, savedPattern.c_str());
      patternSaved = false;
    }
    if (*gtk_entry_get_text(fillPattern) == '\0')
      gtk_entry_set_text(fillPattern, pattern_to_text(std::string(1, '\0')).c_str());
    make_sensitive(fillPattern, true);
    make_sensitive(fillPatternFromFile, true);
  } else {
    if (!patternSaved) {
      savedPattern = gtk_entry_get_text(fillPattern);
      patternSaved = true;
    }
    gtk_entry_set_text(fillPattern, "");
    make_sensitive(fillPattern, false);
    make_sensitive(fillPatternFromFile, false);
  }
  if (method.last_pass_verified()) {
    if (!verifySaved) {
      savedVerify = is_active(verify);
      verifySaved = true;
    }
    set_active(verify, true);
    make_sensitive(verify, false);
  } else {
    if (verifySaved) {
      set_active(verify, savedVerify);
      verifySaved = false;
    }
    make_sensitive(verify, true);
  }
  gtk_widget_set_tooltip_markup(GTK_WIDGET(operationMode), method.description());
}

bool WipeOptionsEditor::apply(WipeOptions& options) {
  check();
  const std::string bytes = text_to_pattern(gtk_entry_get_text(fillPattern));
  const int mode = gtk_combo_box_get_active(operationMode);
  const WipeMethod& method = WipeMethod::by_index(mode);
  std::string refusal;
  if (method.uses_pattern() && bytes.empty())
    refusal = gettext("Invalid pattern");
  else if (method.first_character_only() && bytes.size() != 1)
    refusal = format(gettext("%1 supports only 1 character patterns"), method.name());
  if (!refusal.empty()) {
    gtk::message_box(gtk::MessageKind::Error, refusal, gtk::window_of(parent));
    gtk_widget_grab_focus(GTK_WIDGET(fillPattern));
    return false;
  }
  options.set_sectors_per_time(static_cast<std::uint32_t>(spin_value(sectorsPerTime)));
  options.set_pattern(method.uses_pattern() ? bytes : std::string());
  options.set_ignore_write_errors(is_active(ignoreWriteErrors));
  options.set_ignore_read_errors(is_active(ignoreReadErrors));
  options.set_ignore_compare_errors(is_active(ignoreCompareErrors));
  options.set_mode(mode);
  options.set_jump_after_error_sectors(static_cast<std::uint32_t>(spin_value(jumpSectors)));
  options.set_jump_after_error_double(is_active(jumpDouble));
  options.set_verify(is_active(verify));
  return true;
}

void WipeOptionsEditor::set_sensitive(bool on) {
  check();
  for (GtkWidget* control : {GTK_WIDGET(sectorsPerTime), GTK_WIDGET(fillPattern),
                             GTK_WIDGET(fillPatternFromFile), GTK_WIDGET(operationMode),
                             GTK_WIDGET(jumpSectors), GTK_WIDGET(jumpDouble), GTK_WIDGET(verify)})
    gtk_widget_set_sensitive(control, on);
  if (on)
    update_dependent();
}

void WipeOptionsEditor::on_method_changed(GtkComboBox*, gpointer self) {
  guarded("WipeOptionsEditor.cpp(295)", "WipeOptionsEditor.cpp(297)", [&] {
    auto* editor = static_cast<WipeOptionsEditor*>(self);
    editor->check();
    editor->update_dependent();
  });
}

void WipeOptionsEditor::on_pattern_from_file(GtkButton*, gpointer self) {
  guarded("WipeOptionsEditor.cpp(308)", "WipeOptionsEditor.cpp(310)", [&] {
    auto* editor = static_cast<WipeOptionsEditor*>(self);
    editor->check();
    PatternFileChooser chooser(gtk::window_of(editor->parent), editor->fillPattern,
                               pattern_file_limit);
    chooser.run();
  });
}
