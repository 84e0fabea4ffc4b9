#include "gtk/ChooseStockButton.h"

#include "DialogResponder.h"
#include "GuiEnvironment.h"

#include <gdk/gdkkeysyms.h>

namespace {

using ChooseStockButtonTest = GuiTest;

const char* const items[] = {GTK_STOCK_SAVE, "_Picture", GTK_STOCK_OPEN, nullptr};

} // namespace

TEST_F(ChooseStockButtonTest, AnswersTheIndexOfThePressedButton) {
  const struct {
    const char* button; // "" closes the window, "esc" presses Escape
    int expected;
  } cases[] = {
      {"gtk-save", 0}, {"Picture", 1}, {"gtk-open", 2}, {"gtk-cancel", -1}, {"", -1}, {"esc", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    DialogResponder answers;
    if (std::string(c.button) == "")
      answers.close();
    else if (std::string(c.button) == "esc")
      answers.key(GDK_Escape);
    else
      answers.click(c.button);
    EXPECT_EQ(gtk::choose_stock_button(nullptr, "Choose", items), c.expected);
    EXPECT_TRUE(answers.finished());
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, "Choose");
  }
}

TEST_F(ChooseStockButtonTest, ShowsOneColumnOfButtonsOverItsParent) {
  GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(parent);
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        EXPECT_EQ(gtk_window_get_transient_for(dialog), GTK_WINDOW(parent));
        // The buttons stand one above the other, Cancel last; the row of the dialog is empty.
        EXPECT_FALSE(gtk_widget_get_visible(GTK_DIALOG(dialog)->action_area));
        GList* rows = gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area));
        EXPECT_EQ(rows, nullptr);
        g_list_free(rows);
      })
      .click("gtk-open");
  EXPECT_EQ(gtk::choose_stock_button(GTK_WINDOW(parent), "Choose", items), 2);

  // Only Cancel with an empty list.
  DialogResponder cancel;
  cancel.click("gtk-cancel");
  const char* const none[] = {nullptr};
  EXPECT_EQ(gtk::choose_stock_button(GTK_WINDOW(parent), "Nothing", none), -1);
  gtk_widget_destroy(parent);
}
