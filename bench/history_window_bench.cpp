// Opening the wipe history window over large histories: the time until the window has drawn
// its text (goal: under 0.5 s for 10,000 entries), until GTK has also laid out the rest of the
// text in the background, and for one wipe added while the window is open.
#include "GuiBench.h"

#include "MainLog.h"
#include "MainLogUI/MainLogUI.h"

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

MainLog::Entry entry(int i) {
  MainLog::Entry e;
  e.set_time(1700000000 + std::int64_t(i) * 3600);
  e.set_model(i % 2 ? "ST2000DM008-2FR102" : "WDC WD10EZEX-08WN4A0");
  e.set_serial("ZFL1A" + std::to_string(100000 + i));
  e.set_wipe_method("DoD 5220.22-M (E)");
  e.set_wipe_sectors(3907029168ULL);
  e.set_errors(i % 17 == 0 ? 2 : 0);
  return e;
}

GtkWidget* text_view_in(GtkWidget* widget) {
  if (GTK_IS_TEXT_VIEW(widget))
    return widget;
  if (!GTK_IS_CONTAINER(widget))
    return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next)
    found = text_view_in(GTK_WIDGET(child->data));
  g_list_free(children);
  return found;
}

bool drawn = false;

gboolean on_expose(GtkWidget*, GdkEventExpose*, gpointer) {
  drawn = true;
  return FALSE;
}

// Handles events until the text view has drawn itself once more.
void wait_for_drawing() {
  drawn = false;
  while (!drawn)
    gtk_main_iteration();
}

} // namespace

int main(int argc, char** argv) {
  if (!start_gui(argc, argv))
    return 0;
  for (int count : {1000, 10000, 100000}) {
    MainLog history;
    std::vector<MainLog::Entry> entries;
    for (int i = 0; i < count; ++i)
      entries.push_back(entry(i));
    history.assign(entries);

    const auto start = Clock::now();
    MainLogUI window(history, nullptr);
    const double built = seconds_since(start);
    GtkWidget* view = text_view_in(window.window());
    g_signal_connect_after(view, "expose-event", G_CALLBACK(on_expose), nullptr);
    gtk_widget_show(window.window());
    wait_for_drawing();
    const double shown = seconds_since(start);
    handle_events();
    const double laidOut = seconds_since(start);

    const auto adding = Clock::now();
    history.add(entry(count));
    wait_for_drawing();
    const double added = seconds_since(adding);
    std::printf("%6d entries (%7zu bytes of text): built %.3f s, drawn %.3f s, all laid out "
                "%.3f s; one more entry drawn in %.1f ms\n",
                count, history.to_text().size(), built, shown, laidOut, added * 1000);
  }
  return 0;
}
