// The modal "Please Wait" box of a long operation that runs on the GTK thread: the operation
// reports to it as its InterfaceCallback, and its check serves GTK's pending events (the box's
// refresh timer, its Cancel button) and throws InterruptedException once the operator has
// cancelled or closed it.
//
//   gtk::ProgressBox box(parent, gtk::ProgressMode::Transfer, total, 0, 600);
//   download.set_callback(&box);   // every block: set_progress(progress_by, n), then check()
//
// Figures reported are shown at the next refresh, every 100 ms.
#pragma once

#include "GLibOwners.h"
#include "InterfaceCallback.h"
#include "gtk/WidgetRef.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <ctime>
#include <string>

// The base of the boxes that watch an operation.
class ProgressBoxIC : public InterfaceCallback {};

namespace gtk {

// What the box shows below its bar.
enum class ProgressMode {
  Pulse = 0,    // a pulsing bar and one row of text
  Amount = 1,   // the bar's fraction and percentage, the amount done of the total and the time
                // remaining
  Transfer = 2, // as Amount, with the rows "File" and "Write to"
};

class ProgressBox : public ProgressBoxIC {
public:
  // Builds and shows the box over `parent` (centred on the screen without one), `width` pixels
  // wide. `total` is the amount that means 100 % (0: no total); the amount reached starts at
  // `start`, and progress counts from there.
  ProgressBox(GtkWindow* parent, ProgressMode mode, std::uint64_t total, std::uint64_t start,
              int width);
  ~ProgressBox() override;
  ProgressBox(const ProgressBox&) = delete;
  ProgressBox& operator=(const ProgressBox&) = delete;

  // Handles every pending GTK event; then throws InterruptedException when the box has had any
  // response (Cancel, closing it), now or before.
  void check() override;
  // title_text: the window title, at once. second_text: the second row. first_text: in Amount
  // mode the bar's own text, at once, in place of the percentage for the next 600 refreshes (a
  // minute); else the first row. Rows change at the next refresh; other selectors do nothing.
  void set_text(std::int64_t which, const std::string& text) override;
  // progress_to: the amount reached becomes `amount`; progress_by: `amount` is added to it.
  void set_progress(std::int64_t how, std::uint64_t amount) override;

  // Shows the figures reported so far; the box's timer calls it every 100 ms.
  void refresh();
  GtkWidget* widget() const { return dialog_.get(); }

private:
  // A caption's value label, and the text it is to show at the next refresh.
  struct Row {
    GtkLabel* label = nullptr; // null when the mode has no such row
    std::string pending;
    bool fresh = false;

    void set(const std::string& text);
    void show_pending();
  };

  static gboolean on_timer(gpointer self);
  static void on_response(GtkDialog*, gint response, gpointer self);
  Row build_row(GtkWidget* box, const char* caption, const char* id, GtkSizeGroup* captions);

  const ProgressMode mode_;
  const std::uint64_t total_;
  std::uint64_t done_;
  const std::uint64_t start_;
  WidgetRef dialog_;
  GtkProgressBar* bar_ = nullptr;
  int hold_ = 0;
  Source timer_;
  int response_ = -1;
  const std::time_t startTime_;
  std::time_t lastTime_ = 0;
  Row progressRow_, timeRow_, firstRow_, secondRow_;
};

} // namespace gtk
