#include "parts/LogTextView.h"

#include "Strings.h"

LogTextView::LogTextView(GtkTextView* view, GtkTextBuffer* buffer)
    : view(view), buffer(ObjectRef<GtkTextBuffer>::share(buffer)) {
  GtkTextIter start;
  gtk_text_buffer_get_iter_at_line(this->buffer.get(), &start, 0);
  scrollMark = gtk_text_buffer_create_mark(this->buffer.get(), nullptr, &start, TRUE);
}

void LogTextView::append(const std::string& text) {
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer.get(), &end);
  // A history file or a drive can hold any bytes; GTK would drop the whole piece.
  const std::string valid = valid_utf8(text);
  gtk_text_buffer_insert(buffer.get(), &end, valid.data(), static_cast<gint>(valid.size()));

  GtkTextIter cursor;
  gtk_text_buffer_get_iter_at_mark(buffer.get(), &cursor, gtk_text_buffer_get_insert(buffer.get()));
  if (!gtk_text_iter_is_end(&cursor))
    return;
  gtk_text_iter_set_line_offset(&cursor, 0);
  gtk_text_buffer_move_mark(buffer.get(), scrollMark, &cursor);
  gtk_text_view_scroll_to_mark(view, scrollMark, 0.0, TRUE, 0.0, 1.0);
}

void LogTextView::clear() { gtk_text_buffer_set_text(buffer.get(), "", 0); }

std::string LogTextView::text() const {
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(buffer.get(), &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer.get(), &start, &end, FALSE);
  std::string copy(text);
  g_free(text);
  return copy;
}
