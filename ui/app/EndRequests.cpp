#include "app/EndRequests.h"

#include "DebugLog.h"
#include "Guarded.h"

#include <gtk/gtk.h>

#include <ostream>
#include <vector>

namespace {

// How often the open windows are answered once the program is to end.
constexpr guint closing_period_ms = 100;

// Answers every modal window that is shown as if it were closed: a dialog with the response
// of its window's close button, any other window (the splash) with the event that closing
// sends. From an idle callback of its own, so that a window that an answer opens is answered by
// the next one.
gboolean answer_open_windows(gpointer) {
  // Before the toolkit runs there is nothing to answer.
  if (gdk_display_get_default() == nullptr)
    return FALSE;
  std::vector<GtkWindow*> windows;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next)
    if (gtk_widget_get_visible(GTK_WIDGET(item->data)) &&
        gtk_window_get_modal(GTK_WINDOW(item->data))) {
      g_object_ref(item->data);
      windows.push_back(GTK_WINDOW(item->data));
    }
  g_list_free(toplevels);
  for (GtkWindow* window : windows) {
    // An earlier answer may have closed it already.
    if (!gtk_widget_get_visible(GTK_WIDGET(window))) {
    } else if (GTK_IS_DIALOG(window)) {
      gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
    } else if (GdkWindow* shown = gtk_widget_get_window(GTK_WIDGET(window))) {
      GdkEvent* event = gdk_event_new(GDK_DELETE);
      event->any.window = GDK_WINDOW(g_object_ref(shown));
      event->any.send_event = TRUE;
      gtk_main_do_event(event);
      gdk_event_free(event);
    }
    g_object_unref(window);
  }
  return FALSE;
}

} // namespace

EndRequests::EndRequests() : watch(on_request, this) {}

void EndRequests::on_request(int request, void* self) {
  auto& requests = *static_cast<EndRequests*>(self);
  guarded("EndRequests.cpp(63)", "EndRequests.cpp(65)", [&] {
    debug_log() << "EndRequests.cpp(64): " << request << "\n";
    if (requests.request_ == 0)
      requests.request_ = request;
    if (!requests.closing)
      requests.closing.reset(g_timeout_add(closing_period_ms, on_tick, self));
    g_idle_add(answer_open_windows, nullptr);
    if (requests.stage_ != nullptr)
      requests.stage_->end_requested(request);
  });
}

gboolean EndRequests::on_tick(gpointer) {
  g_idle_add(answer_open_windows, nullptr);
  return TRUE;
}
