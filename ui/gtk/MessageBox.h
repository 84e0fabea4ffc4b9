// The program's message box: a modal message with a title, an icon and buttons by kind.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace gtk {

enum class MessageKind {
  Error = 0,       // "Error", Close; also any value not listed here
  Question = 1,    // "Question", No and Yes
  Warning = 2,     // "Warning", No and Yes
  Information = 3, // "Information", Close
  Ok = 4,          // "Information", OK
};

// What message_box returns: Yes, or anything else (No, closing the window, Escape, and every
// ending of a box without Yes and No).
constexpr int answer_yes = 0;
constexpr int answer_other = 1;

// Which button of a Question or Warning box Enter presses.
enum class DefaultButton { Yes, No };

// Shows `text` (plain text: it is escaped for the label's markup, so paths, models and serials
// show as they are) in a modal box of `kind` over `parent` (or none) and waits for the answer.
// A line of the text that begins with blanks is an item of a list: set in by its blanks, it
// wraps under its own beginning.
// For Question and Warning, `defaultButton` is the default button. Returns answer_yes
// only when Yes was pressed in a Question or Warning box, answer_other for any other ending of
// those, and answer_yes whenever a box without Yes and No ends.
int message_box(MessageKind kind, const std::string& text, GtkWindow* parent,
                DefaultButton defaultButton = DefaultButton::Yes);

// The top-level window of `widget`, null when `widget` is null or not inside a window.
GtkWindow* window_of(GtkWidget* widget);

} // namespace gtk
