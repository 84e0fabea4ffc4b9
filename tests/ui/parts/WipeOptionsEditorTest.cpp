// The wipe options editor over controls of its own, and the options dialog around it: the
// controls kept in line with the method, the pattern and verify choice put aside across method
// switches (and forgotten by a load), the pattern refusals, and OK, Cancel and closing.
#include "parts/WipeOptionsEditor.h"
#include "WipeOptionsUI/WipeOptionsUI.h"

#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "LogCapture.h"
#include "gtk/CVWStyle.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

enum Method : int {
  Forward = 0,
  DodC = 2,
  DodD = 3,     // verifies its last pass itself
  DodH = 5,     // writes no pattern
  Navso = 8,    // verifies its last pass itself
  Gutmann = 10, // writes no pattern
};

// The controls of a window, with the editor bound to them.
class WipeOptionsEditorTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    if (window == nullptr)
      return;
    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_add(GTK_CONTAINER(window), box);
    auto add = [&](GtkWidget* widget) {
      gtk_box_pack_start(GTK_BOX(box), widget, FALSE, FALSE, 0);
      return widget;
    };
    sectorsPerTime = GTK_SPIN_BUTTON(add(gtk_spin_button_new_with_range(0, 1, 1)));
    pattern = GTK_ENTRY(add(gtk_entry_new()));
    patternFile = GTK_BUTTON(add(gtk_button_new_with_label("From file")));
    for (GtkToggleButton*& toggle : ignore)
      toggle = GTK_TOGGLE_BUTTON(add(gtk_check_button_new()));
    method = GTK_COMBO_BOX(add(gtk_combo_box_new_text()));
    jumpSectors = GTK_SPIN_BUTTON(add(gtk_spin_button_new_with_range(0, 1, 1)));
    jumpDouble = GTK_TOGGLE_BUTTON(add(gtk_check_button_new()));
    verify = GTK_TOGGLE_BUTTON(add(gtk_check_button_new()));
    gtk_widget_show_all(window);
    editor = std::make_unique<WipeOptionsEditor>(window);
    bind(*editor);
  }
  void TearDown() override {
    editor.reset();
    WindowTest::TearDown();
  }

  // Binds the controls in the order of the editor's checks; `count` of them.
  void bind(WipeOptionsEditor& e, int count = 10) {
    const std::vector<std::function<void()>> binds = {
        [&] { e.bind_sectors_per_time(sectorsPerTime); },
        [&] { e.bind_pattern(pattern); },
        [&] { e.bind_pattern_file_button(patternFile); },
        [&] { e.bind_ignore_write_errors(ignore[0]); },
        [&] { e.bind_ignore_read_errors(ignore[1]); },
        [&] { e.bind_ignore_compare_errors(ignore[2]); },
        [&] { e.bind_method(method); },
        [&] { e.bind_jump_sectors(jumpSectors); },
        [&] { e.bind_jump_double(jumpDouble); },
        [&] { e.bind_verify(verify); },
    };
    for (int i = 0; i < count; ++i)
      binds[static_cast<std::size_t>(i)]();
  }

  std::string pattern_text() { return gtk_entry_get_text(pattern); }
  void type_pattern(const char* text) { gtk_entry_set_text(pattern, text); }
  void choose(int mode) { gtk_combo_box_set_active(method, mode); }
  bool sensitive(void* widget) { return gtk_widget_get_sensitive(GTK_WIDGET(widget)) != FALSE; }
  bool ticked(GtkToggleButton* toggle) { return gtk_toggle_button_get_active(toggle) != FALSE; }

  WipeOptions options_with(int mode, const std::string& bytes, bool verifyOn) {
    WipeOptions options;
    options.set_mode(mode);
    options.set_pattern(bytes);
    options.set_verify(verifyOn);
    return options;
  }

  GtkSpinButton* sectorsPerTime = nullptr;
  GtkEntry* pattern = nullptr;
  GtkButton* patternFile = nullptr;
  GtkToggleButton* ignore[3] = {};
  GtkComboBox* method = nullptr;
  GtkSpinButton* jumpSectors = nullptr;
  GtkToggleButton* jumpDouble = nullptr;
  GtkToggleButton* verify = nullptr;
  std::unique_ptr<WipeOptionsEditor> editor;
};

} // namespace

TEST_F(WipeOptionsEditorTest, TheMethodListHasEveryMethodWithItsDescription) {
  GtkWidget* menu = gtk::attached_menu(GTK_WIDGET(method));
  ASSERT_NE(menu, nullptr);
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  EXPECT_EQ(g_list_length(items), 11u);
  for (GList* item = items; item != nullptr; item = item->next) {
    gchar* tip = gtk_widget_get_tooltip_markup(GTK_WIDGET(item->data));
    EXPECT_NE(tip, nullptr);
    EXPECT_NE(std::string(tip != nullptr ? tip : ""), "");
    g_free(tip);
  }
  g_list_free(items);
  editor->load(WipeOptions());
  gtk_combo_box_set_active(method, Gutmann);
  gchar* name = gtk_combo_box_get_active_text(method);
  EXPECT_EQ(std::string(name), "Gutmann");
  g_free(name);
}

TEST_F(WipeOptionsEditorTest, DefaultsShowTheZeroBytePatternWhichComesBackWhenEmptied) {
  editor->load(WipeOptions());
  EXPECT_EQ(pattern_text(), "\\x00");
  EXPECT_EQ(gtk_spin_button_get_value(sectorsPerTime), 256);
  EXPECT_EQ(gtk_spin_button_get_value(jumpSectors), 1);
  EXPECT_TRUE(ticked(jumpDouble));
  EXPECT_FALSE(ticked(verify));
  EXPECT_EQ(gtk_combo_box_get_active(method), Forward);
  type_pattern("");
  choose(Gutmann);
  EXPECT_EQ(pattern_text(), "");
  choose(Forward);
  EXPECT_EQ(pattern_text(), "\\x00");
}

// Switching to any method and back never loses the operator's pattern text or verify tick.
TEST_F(WipeOptionsEditorTest, PatternAndVerifyArePutAsideAcrossMethodSwitches) {
  for (const bool verifyOn : {false, true}) {
    for (int mode = 0; mode < 11; ++mode) {
      SCOPED_TRACE(testing::Message() << "method " << mode << ", verify " << verifyOn);
      const bool writesPattern = mode != DodH && mode != Gutmann;
      const bool verifiesItself = mode == DodD || mode == Navso;
      editor->load(options_with(Forward, "AB", verifyOn));
      choose(mode);
      EXPECT_EQ(pattern_text(), writesPattern ? "AB" : "");
      EXPECT_EQ(sensitive(pattern), writesPattern);
      EXPECT_EQ(sensitive(patternFile), writesPattern);
      EXPECT_EQ(ticked(verify), verifiesItself || verifyOn);
      EXPECT_EQ(sensitive(verify), !verifiesItself);
      // Through a method that needs neither, so both stay aside.
      choose(mode == Gutmann ? DodH : Gutmann);
      choose(Forward);
      EXPECT_EQ(pattern_text(), "AB");
      EXPECT_TRUE(sensitive(pattern));
      EXPECT_EQ(ticked(verify), verifyOn);
      EXPECT_TRUE(sensitive(verify));
    }
  }
  // Back and forth between two methods that each put one aside.
  editor->load(options_with(Forward, "\\xff", false));
  type_pattern("Z");
  choose(DodD);
  choose(Gutmann);
  choose(Navso);
  EXPECT_EQ(pattern_text(), "Z");
  EXPECT_TRUE(ticked(verify));
  choose(Forward);
  EXPECT_FALSE(ticked(verify));
}

// The values put aside belong to what was shown before a load; the loaded options are what a
// later method switch brings back.
TEST_F(WipeOptionsEditorTest, LoadingForgetsWhatWasPutAside) {
  // Verify ticked under Forward, then options of a self-verifying method whose own verify choice
  // is off: switching away shows the loaded choice, not the old tick.
  editor->load(options_with(Forward, "A", true));
  editor->load(options_with(DodD, "A", false));
  EXPECT_TRUE(ticked(verify));
  choose(Forward);
  EXPECT_FALSE(ticked(verify));

  // The same while the editor already shows a self-verifying method (the combo box does not
  // change, so only the load itself can forget).
  editor->load(options_with(Forward, "A", true));
  choose(Navso);
  editor->load(options_with(Navso, "A", false));
  choose(Forward);
  EXPECT_FALSE(ticked(verify));

  // A pattern put aside under Gutmann does not replace the one loaded.
  editor->load(options_with(Forward, "OLD", false));
  choose(Gutmann);
  editor->load(options_with(Forward, "NEW", false));
  EXPECT_EQ(pattern_text(), "NEW");
  choose(Gutmann);
  choose(Forward);
  EXPECT_EQ(pattern_text(), "NEW");
}

TEST_F(WipeOptionsEditorTest, PatternsTheMethodCannotUseAreRefused) {
  const struct {
    int mode;
    const char* text;
    const char* refusal; // "" when accepted
    std::string bytes;   // written when accepted
  } cases[] = {
      {Forward, "", "Invalid pattern", ""},
      {Forward, "\\q", "Invalid pattern", ""},
      {Forward, "a\"b", "Invalid pattern", ""},
      {Forward, "AB\\x00", "", std::string("AB\0", 3)},
      {DodC, "AB", "DoD 5220.22-M (C) supports only 1 character patterns", ""},
      {DodC, "", "Invalid pattern", ""},
      {DodC, "\\xff", "", "\xff"},
      {Navso, "AB", "", "AB"},
      {Gutmann, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " \"" << c.text << "\"");
    editor->load(WipeOptions());
    choose(c.mode);
    type_pattern(c.text);
    gtk_widget_grab_focus(GTK_WIDGET(sectorsPerTime));
    WipeOptions options = options_with(DodH, "keep", true);
    DialogResponder answers;
    if (*c.refusal != '\0')
      answers.close();
    const bool accepted = editor->apply(options);
    EXPECT_EQ(accepted, *c.refusal == '\0');
    if (accepted) {
      EXPECT_EQ(options.pattern(), c.bytes);
      EXPECT_EQ(options.mode(), c.mode);
      EXPECT_TRUE(answers.seen().empty());
    } else {
      ASSERT_EQ(answers.seen().size(), 1u);
      EXPECT_EQ(answers.seen()[0].title, "Error");
      EXPECT_EQ(answers.seen()[0].text, c.refusal);
      EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(pattern)));
      EXPECT_EQ(options.pattern(), "keep");
      EXPECT_EQ(options.mode(), DodH);
      EXPECT_TRUE(options.verify());
    }
  }
}

TEST_F(WipeOptionsEditorTest, ApplyWritesEveryControlButTheUpdatePeriod) {
  editor->load(WipeOptions());
  gtk_spin_button_set_value(sectorsPerTime, 1024);
  gtk_toggle_button_set_active(ignore[0], TRUE);
  gtk_toggle_button_set_active(ignore[2], TRUE);
  choose(7);
  // Typed, not yet taken by the spin button.
  gtk_entry_set_text(GTK_ENTRY(jumpSectors), "64");
  gtk_toggle_button_set_active(jumpDouble, FALSE);
  gtk_toggle_button_set_active(verify, TRUE);
  WipeOptions options;
  options.set_update_period(1234);
  type_pattern("x"); // AFSSI 5020 takes one character
  ASSERT_TRUE(editor->apply(options));
  EXPECT_EQ(options.sectors_per_time(), 1024u);
  EXPECT_EQ(options.pattern(), "x");
  EXPECT_TRUE(options.ignore_write_errors());
  EXPECT_FALSE(options.ignore_read_errors());
  EXPECT_TRUE(options.ignore_compare_errors());
  EXPECT_EQ(options.mode(), 7);
  EXPECT_EQ(options.jump_after_error_sectors(), 64u);
  EXPECT_FALSE(options.jump_after_error_double());
  EXPECT_TRUE(options.verify());
  EXPECT_EQ(options.update_period(), 1234u);

  // Loaded back, the same record comes out.
  WipeOptions again;
  again.set_update_period(1234);
  editor->load(options);
  ASSERT_TRUE(editor->apply(again));
  EXPECT_EQ(again.sectors_per_time(), 1024u);
  EXPECT_EQ(again.pattern(), "x");
  EXPECT_EQ(again.mode(), 7);
  EXPECT_EQ(again.jump_after_error_sectors(), 64u);
  EXPECT_TRUE(again.verify());
}

TEST_F(WipeOptionsEditorTest, SpinButtonsKeepTheirRanges) {
  editor->load(WipeOptions());
  const struct {
    GtkSpinButton* spin;
    double typed, kept;
  } cases[] = {{sectorsPerTime, 0, 1},         {sectorsPerTime, 65536, 65536},
               {sectorsPerTime, 70000, 65536}, {jumpSectors, 0, 1},
               {jumpSectors, 65535, 65535},    {jumpSectors, 65536, 65535}};
  for (const auto& c : cases) {
    gtk_spin_button_set_value(c.spin, c.typed);
    EXPECT_EQ(gtk_spin_button_get_value(c.spin), c.kept) << c.typed;
  }
}

TEST_F(WipeOptionsEditorTest, DuringAWipeOnlyTheIgnoreTogglesStayUsable) {
  editor->load(options_with(Navso, "A", false));
  editor->set_sensitive(false);
  for (void* control : {static_cast<void*>(sectorsPerTime), static_cast<void*>(pattern),
                        static_cast<void*>(patternFile), static_cast<void*>(method),
                        static_cast<void*>(jumpSectors), static_cast<void*>(jumpDouble),
                        static_cast<void*>(verify)})
    EXPECT_FALSE(sensitive(control));
  for (GtkToggleButton* toggle : ignore)
    EXPECT_TRUE(sensitive(toggle));
  // Afterwards the method's own demands hold again: Navso keeps verify greyed.
  editor->set_sensitive(true);
  EXPECT_TRUE(sensitive(pattern));
  EXPECT_TRUE(sensitive(method));
  EXPECT_FALSE(sensitive(verify));
  EXPECT_TRUE(ticked(verify));
}

TEST_F(WipeOptionsEditorTest, UnboundControlsAreNamedInOrder) {
  for (int bound = 0; bound < 10; ++bound) {
    SCOPED_TRACE(bound);
    if (bound == 6)
      continue; // the method list can be bound only once per combo box
    WipeOptionsEditor partial(window);
    bind(partial, bound);
    const std::string expected = "WipeOptionsEditor.cpp(" + std::to_string(229 + bound) + ")";
    WipeOptions options;
    for (const auto& operation : std::vector<std::function<void()>>{
             [&] { partial.load(options); }, [&] { partial.apply(options); },
             [&] { partial.set_sensitive(true); }}) {
      try {
        operation();
        ADD_FAILURE() << "no throw";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), expected);
      }
    }
  }
}

TEST_F(WipeOptionsEditorTest, AMethodHandlerFailureIsLogged) {
  editor->load(WipeOptions());
  LogCapture log;
  choose(-1);
  EXPECT_EQ(log.text(),
            "WipeMethod.cpp(313): -1\nWipeOptionsEditor.cpp(295): WipeMethod.cpp(314)\n");
}

namespace {

class WipeOptionsUITest : public GuiTest {
protected:
  WipeOptions sample() {
    WipeOptions options;
    options.set_mode(DodC);
    options.set_pattern("Q");
    options.set_verify(true);
    options.set_update_period(77);
    return options;
  }
  static void set_pattern(GtkWindow* dialog, const char* text) {
    gtk_entry_set_text(GTK_ENTRY(widget_by_id(GTK_WIDGET(dialog), "fillPattern")), text);
  }
};

} // namespace

TEST_F(WipeOptionsUITest, OkWithABadPatternKeepsTheDialogOpen) {
  WipeOptionsUI dialog(nullptr);
  WipeOptions options = sample();
  DialogResponder answers;
  answers.then([](GtkWindow* d) { set_pattern(d, "QQ"); })
      .respond(GTK_RESPONSE_OK)
      .close()
      .then([](GtkWindow* d) { set_pattern(d, "\\x55"); })
      .click("gtk-ok");
  EXPECT_TRUE(dialog.run(options));
  ASSERT_EQ(answers.seen().size(), 3u);
  EXPECT_EQ(answers.seen()[0].title, "Wipe Options");
  EXPECT_EQ(answers.seen()[1].text, "DoD 5220.22-M (C) supports only 1 character patterns");
  EXPECT_EQ(options.pattern(), "\x55");
  EXPECT_EQ(options.mode(), DodC);
  EXPECT_TRUE(options.verify());
  EXPECT_EQ(options.update_period(), 77u);
  EXPECT_FALSE(gtk_widget_get_visible(dialog.dialog()));
}

TEST_F(WipeOptionsUITest, CancelOrClosingKeepsTheOptions) {
  for (const char* way : {"cancel", "close"}) {
    SCOPED_TRACE(way);
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    WipeOptionsUI dialog(parent);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog.dialog())), GTK_WINDOW(parent));
    WipeOptions options = sample();
    DialogResponder answers;
    answers.then([](GtkWindow* d) { set_pattern(d, "changed"); });
    if (std::string(way) == "cancel")
      answers.click("gtk-cancel");
    else
      answers.close();
    EXPECT_FALSE(dialog.run(options));
    EXPECT_EQ(options.pattern(), "Q");
    gtk_widget_destroy(parent);
  }
}
