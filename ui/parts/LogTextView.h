// A read-only text view that grows at its end, as the history and task log windows show their
// logs: new text is added at the bottom, and the view follows it only while the operator's
// cursor is at the end, so that someone reading further up is not pulled away.
#pragma once

#include "GLibOwners.h"

#include <gtk/gtk.h>

#include <string>

class LogTextView {
public:
  // Works on `view` (which the window owns) and `buffer`, its buffer, which it keeps.
  LogTextView(GtkTextView* view, GtkTextBuffer* buffer);
  LogTextView(const LogTextView&) = delete;
  LogTextView& operator=(const LogTextView&) = delete;

  // Adds `text` at the end. Bytes that are not UTF-8 show as replacement characters; the rest
  // shows as it is. When the cursor is at the end, the view scrolls so that the last line is at
  // the bottom; elsewhere the view does not move.
  void append(const std::string& text);
  // Empties the buffer.
  void clear();
  // Everything the buffer holds, start to end.
  std::string text() const;

private:
  GtkTextView* view;
  ObjectRef<GtkTextBuffer> buffer;
  // Left gravity, kept at the start of the last line that was scrolled to.
  GtkTextMark* scrollMark;
};
