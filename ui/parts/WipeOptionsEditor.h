// Ties the option controls of a window to one WipeOptions record: fills the method list, loads
// options into the controls, keeps the pattern and verification controls in line with the chosen
// method, checks the pattern, and writes the controls back into a record.
//
// The editor does not own its controls; the wipe panel and the options dialog bind it to theirs.
// A method that writes no pattern empties and greys the pattern field, and one that verifies its
// last pass itself ticks and greys the verification; the text and the tick that were there are
// put aside and come back when a method that needs them is chosen again, so switching methods
// back and forth never loses what the operator typed.
#pragma once

#include "WipeOptions.h"

#include <gtk/gtk.h>

#include <string>

class WipeOptionsEditor {
public:
  // Message boxes and the pattern file chooser open over the window of `parent`.
  explicit WipeOptionsEditor(GtkWidget* parent);
  WipeOptionsEditor(const WipeOptionsEditor&) = delete;
  WipeOptionsEditor& operator=(const WipeOptionsEditor&) = delete;

  // One per control. The two spin buttons get their ranges here: 1 to 65536 sectors per
  // transfer, 1 to 65535 sectors skipped after an error.
  void bind_sectors_per_time(GtkSpinButton* spin);
  void bind_pattern(GtkEntry* entry);
  void bind_pattern_file_button(GtkButton* button);
  void bind_ignore_write_errors(GtkToggleButton* toggle);
  void bind_ignore_read_errors(GtkToggleButton* toggle);
  void bind_ignore_compare_errors(GtkToggleButton* toggle);
  // Fills the combo box with the eleven methods and gives each item of its pop-up menu the
  // method's description as tooltip. Throws std::runtime_error "WipeOptionsEditor.cpp(80)" when
  // the combo box has no pop-up menu, "WipeOptionsEditor.cpp(89)" when the menu holds fewer
  // than eleven items.
  void bind_method(GtkComboBox* combo);
  void bind_jump_sectors(GtkSpinButton* spin);
  void bind_jump_double(GtkToggleButton* toggle);
  void bind_verify(GtkToggleButton* toggle);

  // Each of the following throws std::runtime_error "WipeOptionsEditor.cpp(229)" to "(238)"
  // when a control is not bound (the first missing one in the order of the bind operations).

  // Shows `options` in the controls. What was put aside before is forgotten: the values
  // loaded are the ones a later method switch brings back.
  void load(const WipeOptions& options);

  // Writes the controls into `options` (all but the update period) and returns true. A pattern
  // that the method cannot use ("Invalid pattern", "%1 supports only 1 character patterns") is
  // reported over the parent, the focus goes to the pattern field, and it returns false with
  // `options` unchanged.
  bool apply(WipeOptions& options);

  // Every control but the three ignore-error toggles, which stay usable while a wipe runs.
  void set_sensitive(bool on);

  // Brings the pattern and verification controls in line with the chosen method.
  void update_dependent();

private:
  void check() const;
  static void on_method_changed(GtkComboBox*, gpointer self);
  static void on_pattern_from_file(GtkButton*, gpointer self);

  GtkWidget* parent;
  GtkSpinButton* sectorsPerTime = nullptr;
  GtkEntry* fillPattern = nullptr;
  GtkButton* fillPatternFromFile = nullptr;
  GtkToggleButton* ignoreWriteErrors = nullptr;
  GtkToggleButton* ignoreReadErrors = nullptr;
  GtkToggleButton* ignoreCompareErrors = nullptr;
  GtkComboBox* operationMode = nullptr;
  GtkSpinButton* jumpSectors = nullptr;
  GtkToggleButton* jumpDouble = nullptr;
  GtkToggleButton* verify = nullptr;
  bool patternSaved = false;
  std::string savedPattern;
  bool verifySaved = false;
  bool savedVerify = false;
};
