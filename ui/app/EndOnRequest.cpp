#include "app/EndOnRequest.h"

#include "DebugLog.h"
#include "Guarded.h"

#include <ostream>
#include <vector>

namespace {

// How often the open dialogs are answered once the program is to end.
constexpr guint closing_period_ms = 100;

// Answers every dialog that runs as if its window were closed. From an idle callback of its
// own, so that a dialog that an answer opens is answered by the next one.
gboolean answer_open_dialogs(gpointer) {
  std::vector<GtkDialog*> dialogs;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next)
    if (GTK_IS_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)) &&
        gtk_window_get_modal(GTK_WINDOW(item->data))) {
      g_object_ref(item->data);
      dialogs.push_back(GTK_DIALOG(item->data));
    }
  g_list_free(windows);
  for (GtkDialog* dialog : dialogs) {
    // An earlier answer may have closed it already.
    if (gtk_widget_get_visible(GTK_WIDGET(dialog)))
      gtk_dialog_response(dialog, GTK_RESPONSE_DELETE_EVENT);
    g_object_unref(dialog);
  }
  return FALSE;
}

} // namespace

EndOnRequest::EndOnRequest(TopUI& top, HistoryKeeper* keeper)
    : top(top), keeper(keeper), watch(on_request, this) {}

void EndOnRequest::on_request(int request, void* self) {
  auto& ending = *static_cast<EndOnRequest*>(self);
  guarded("EndOnRequest.cpp(45)", "EndOnRequest.cpp(47)", [&] {
    debug_log() << "EndOnRequest.cpp(46): " << request << "\n";
    ending.requested_ = true;
    if (ending.keeper != nullptr)
      ending.keeper->save_now();
    ending.top.end(128 + request);
    if (!ending.closing)
      ending.closing.reset(g_timeout_add(closing_period_ms, on_tick, self));
    g_idle_add(answer_open_dialogs, nullptr);
  });
}

gboolean EndOnRequest::on_tick(gpointer) {
  g_idle_add(answer_open_dialogs, nullptr);
  return TRUE;
}
