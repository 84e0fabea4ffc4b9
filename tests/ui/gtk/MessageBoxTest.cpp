#include "gtk/MessageBox.h"

#include "DialogResponder.h"
#include "FindWidget.h"
#include "GuiEnvironment.h"
#include "Screenshot.h"

#include <gdk/gdkkeysyms.h>
#include <libintl.h>

#include <clocale>

namespace {

using gtk::MessageKind;
using MessageBoxTest = GuiTest;

enum class Ending { Yes, No, Close, CloseWindow, Escape, Enter };

const char* name(Ending ending) {
  switch (ending) {
  case Ending::Yes: return "Yes";
  case Ending::No: return "No";
  case Ending::Close: return "the only button";
  case Ending::CloseWindow: return "closing the window";
  case Ending::Escape: return "Escape";
  case Ending::Enter: return "Enter";
  }
  return "";
}

void arm(DialogResponder& answers, Ending ending) {
  switch (ending) {
  case Ending::Yes: answers.click("yes"); break;
  case Ending::No: answers.click("no"); break;
  case Ending::Close: answers.respond(GTK_RESPONSE_REJECT); break;
  case Ending::CloseWindow: answers.close(); break;
  case Ending::Escape: answers.key(GDK_Escape); break;
  case Ending::Enter: answers.key(GDK_Return); break;
  }
}

} // namespace

TEST_F(MessageBoxTest, EveryKindEndsWithItsAnswer) {
  const struct {
    MessageKind kind;
    bool defaultNo;
    Ending ending;
    int answer;
    const char* title;
  } cases[] = {
      {MessageKind::Question, false, Ending::Yes, gtk::answer_yes, "Question"},
      {MessageKind::Question, false, Ending::No, gtk::answer_other, "Question"},
      {MessageKind::Question, false, Ending::CloseWindow, gtk::answer_other, "Question"},
      {MessageKind::Question, false, Ending::Escape, gtk::answer_other, "Question"},
      {MessageKind::Question, false, Ending::Enter, gtk::answer_yes, "Question"},
      {MessageKind::Question, true, Ending::Enter, gtk::answer_other, "Question"},
      {MessageKind::Warning, false, Ending::Yes, gtk::answer_yes, "Warning"},
      {MessageKind::Warning, true, Ending::No, gtk::answer_other, "Warning"},
      {MessageKind::Warning, true, Ending::Enter, gtk::answer_other, "Warning"},
      {MessageKind::Warning, true, Ending::Escape, gtk::answer_other, "Warning"},
      {MessageKind::Error, false, Ending::Close, gtk::answer_yes, "Error"},
      {MessageKind::Error, false, Ending::CloseWindow, gtk::answer_yes, "Error"},
      {MessageKind::Error, false, Ending::Escape, gtk::answer_yes, "Error"},
      {MessageKind::Information, false, Ending::Enter, gtk::answer_yes, "Information"},
      {MessageKind::Ok, false, Ending::CloseWindow, gtk::answer_yes, "Information"},
      {static_cast<MessageKind>(7), false, Ending::Close, gtk::answer_yes, "Error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.kind) << " default No " << c.defaultNo
                                    << ", " << name(c.ending));
    DialogResponder answers;
    arm(answers, c.ending);
    EXPECT_EQ(gtk::message_box(c.kind, "Text", nullptr,
                               c.defaultNo ? gtk::DefaultButton::No : gtk::DefaultButton::Yes),
              c.answer);
    EXPECT_TRUE(answers.finished());
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].title, c.title);
    EXPECT_EQ(answers.seen()[0].text, "Text");
  }
}

TEST_F(MessageBoxTest, ButtonsIconAndFocusFollowTheKind) {
  const struct {
    MessageKind kind;
    bool defaultNo;
    const char* buttons; // stock ids, in the order added
    const char* focused;
    const char* icon;
  } cases[] = {
      {MessageKind::Question, false, "gtk-no gtk-yes", "gtk-yes", GTK_STOCK_DIALOG_QUESTION},
      {MessageKind::Warning, true, "gtk-no gtk-yes", "gtk-no", GTK_STOCK_DIALOG_WARNING},
      {MessageKind::Error, false, "gtk-close", "gtk-close", GTK_STOCK_DIALOG_ERROR},
      {MessageKind::Information, false, "gtk-close", "gtk-close", GTK_STOCK_DIALOG_INFO},
      {MessageKind::Ok, false, "gtk-ok", "gtk-ok", GTK_STOCK_DIALOG_INFO},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    DialogResponder answers;
    answers
        .then([&](GtkWindow* dialog) {
          std::string buttons;
          GList* children =
              gtk_container_get_children(GTK_CONTAINER(GTK_DIALOG(dialog)->action_area));
          for (GList* item = g_list_last(children); item != nullptr; item = item->prev) {
            if (!buttons.empty())
              buttons += " ";
            buttons += gtk_button_get_label(GTK_BUTTON(item->data));
          }
          g_list_free(children);
          EXPECT_EQ(buttons, c.buttons);
          GtkWidget* focus = gtk_window_get_focus(dialog);
          ASSERT_TRUE(GTK_IS_BUTTON(focus));
          EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(focus)), c.focused);
          GtkWidget* icon = nullptr;
          for (GtkWidget* widget : all_widgets(GTK_WIDGET(dialog))) {
            if (GTK_IS_IMAGE(widget) && gtk_widget_get_ancestor(widget, GTK_TYPE_BUTTON) == nullptr)
              icon = widget;
          }
          ASSERT_NE(icon, nullptr);
          gchar* stock = nullptr;
          gtk_image_get_stock(GTK_IMAGE(icon), &stock, nullptr);
          EXPECT_STREQ(stock, c.icon);
          EXPECT_TRUE(gtk_window_get_modal(dialog));
        })
        .respond(GTK_RESPONSE_REJECT);
    gtk::message_box(c.kind, "Text", nullptr,
                     c.defaultNo ? gtk::DefaultButton::No : gtk::DefaultButton::Yes);
  }
}

// Callers put paths, models and serials into the text: they show as they are.
TEST_F(MessageBoxTest, TextIsShownAsItIs) {
  for (const char* text : {"A&B <1>", "Cannot open /tmp/<b>x</b>.txt", "50% & \"quoted\""}) {
    DialogResponder answers;
    answers.respond(GTK_RESPONSE_REJECT);
    gtk::message_box(MessageKind::Error, text, nullptr);
    ASSERT_EQ(answers.seen().size(), 1u);
    EXPECT_EQ(answers.seen()[0].text, text);
  }
}

TEST_F(MessageBoxTest, LongTextsWrapInsideTheScreen) {
  std::string text;
  for (int i = 0; i < 60; ++i)
    text += "A long message word " + std::to_string(i) + ". ";
  DialogResponder answers;
  answers
      .then([](GtkWindow* dialog) {
        flush_events();
        EXPECT_LT(GTK_WIDGET(dialog)->allocation.width, 700);
        EXPECT_GT(GTK_WIDGET(dialog)->allocation.height, 100);
      })
      .respond(GTK_RESPONSE_REJECT);
  gtk::message_box(MessageKind::Information, text, nullptr);
}

// The lines of a list (lines that begin with blanks, as the drives of a wipe) are set in by their
// blanks, and one too long for the box goes on under its own beginning, not at the box's edge;
// the text around the list keeps its lines and its empty line.
TEST_F(MessageBoxTest, ListItemsWrapUnderTheirOwnBeginning) {
  std::string item = "WDC WD140EDGZ-11B2DA2";
  for (int i = 0; i < 12; ++i)
    item += " / WD-WCC6Y0LX123456" + std::to_string(i);
  const std::string text = "This operation will wipe 2 drives.\n    " + item +
                           "\n    Short (1.000TB)\n\nAre you sure you want to continue?";
  DialogResponder answers;
  answers
      .then([&](GtkWindow* dialog) {
        flush_events();
        std::vector<GtkWidget*> labels;
        for (GtkWidget* widget : all_widgets(GTK_WIDGET(dialog)))
          if (GTK_IS_LABEL(widget) && gtk_widget_get_ancestor(widget, GTK_TYPE_BUTTON) == nullptr)
            labels.push_back(widget);
        ASSERT_EQ(labels.size(), 4u);
        GtkWidget* body = labels[0];
        while (accessible_id_of(body) != "message")
          body = gtk_widget_get_parent(body);
        // Where each label's text begins in the body, and how high it is.
        std::vector<int> left, height;
        for (GtkWidget* label : labels) {
          gint x = 0, y = 0;
          ASSERT_TRUE(gtk_widget_translate_coordinates(label, body, 0, 0, &x, &y));
          left.push_back(x);
          height.push_back(label->allocation.height);
        }
        EXPECT_EQ(left[0], 0);
        EXPECT_GT(left[1], 10) << "the long item is set in";
        EXPECT_EQ(left[2], left[1]);
        EXPECT_EQ(left[3], 0);
        EXPECT_GT(height[1], 2 * height[2]) << "the long item wraps, in its own place";
        EXPECT_GT(height[3], height[2]) << "the empty line before the question";
        EXPECT_LT(GTK_WIDGET(dialog)->allocation.width, 700);
      })
      .then([](GtkWindow* dialog) { save_screenshot(GTK_WIDGET(dialog), "MessageBox-list"); })
      .respond(GTK_RESPONSE_REJECT);
  gtk::message_box(MessageKind::Warning, text, nullptr, gtk::DefaultButton::No);
  ASSERT_EQ(answers.seen().size(), 1u);
  EXPECT_EQ(answers.seen()[0].text, "This operation will wipe 2 drives.\n" + item +
                                        "\nShort (1.000TB)\n\nAre you sure you want to continue?");
}

TEST_F(MessageBoxTest, TitlesAreTranslated) {
  if (setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (./dev deps installs it)";
  g_setenv("LANGUAGE", "de", TRUE);
  DialogResponder answers;
  answers.respond(GTK_RESPONSE_REJECT).respond(GTK_RESPONSE_REJECT);
  gtk::message_box(MessageKind::Error, "Text", nullptr);
  gtk::message_box(MessageKind::Warning, "Text", nullptr);
  setlocale(LC_ALL, "C.UTF-8");
  g_unsetenv("LANGUAGE");
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[0].title, "Fehler");
  EXPECT_EQ(answers.seen()[1].title, "Warnung");
}
