#include "gtk/ProgressBox.h"

#include "Format.h"
#include "Guarded.h"
#include "Strings.h"
#include "Translation.h"
#include "gtk/WidgetName.h"

#include <algorithm>
#include <limits>

namespace gtk {

namespace {

constexpr guint refresh_ms = 100;
constexpr int hold_refreshes = 600; // a text set into the bar stays for a minute

// Whole percent of `processed` out of `total`, counted in integers so that 29 of 100 is 29 and
// not the 28 that 0.29 * 100 gives in floating point; at most 100, 0 without a total.
unsigned whole_percent(std::uint64_t processed, std::uint64_t total) {
  if (total == 0)
    return 0;
  const unsigned __int128 percent =
      static_cast<unsigned __int128>(std::min(processed, total)) * 100 / total;
  return static_cast<unsigned>(percent);
}

} // namespace

void ProgressBox::Row::set(const std::string& text) {
  if (label == nullptr)
    return;
  pending = text;
  fresh = true;
}

void ProgressBox::Row::show_pending() {
  if (label == nullptr || !fresh)
    return;
  gtk_label_set_text(label, valid_utf8(pending).c_str()); // an address or path
  fresh = false;
}

ProgressBox::ProgressBox(GtkWindow* parent, ProgressMode mode, std::uint64_t total,
                         std::uint64_t start, int width)
    : mode_(mode), total_(total), done_(start), start_(start), startTime_(std::time(nullptr)) {
  dialog_.reset(gtk_dialog_new_with_buttons(
      gettext("Please Wait"), parent,
      GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT | GTK_DIALOG_NO_SEPARATOR),
      nullptr, nullptr));
  GtkWidget* dialog = dialog_.get();
  set_accessible_id(dialog, "progress-box");
  set_accessible_id(
      gtk_dialog_add_button(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL), "cancel");

  GtkWidget* column = gtk_vbox_new(FALSE, 4);
  gtk_container_set_border_width(GTK_CONTAINER(column), 8);
  gtk_box_pack_start_defaults(GTK_BOX(GTK_DIALOG(dialog)->vbox), column);
  GtkWidget* bar = gtk_progress_bar_new();
  bar_ = GTK_PROGRESS_BAR(bar);
  set_accessible_id(bar, "progress");
  gtk_box_pack_start(GTK_BOX(column), bar, FALSE, FALSE, 0);

  // The captions of the rows in one column, as wide as the widest.
  GtkSizeGroup* captions = gtk_size_group_new(GTK_SIZE_GROUP_HORIZONTAL);
  if (mode != ProgressMode::Pulse) {
    GtkWidget* line = gtk_hbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(column), line, FALSE, FALSE, 0);
    // Room for "999.9 of 999.9MB" and "10 hours 59 minutes" however narrow the box.
    progressRow_ = build_row(line, gettext("Progress"), "progress-row", captions);
    gtk_label_set_width_chars(progressRow_.label, 16);
    timeRow_ = build_row(line, gettext("Time Remaining"), "time-row", nullptr);
    gtk_label_set_width_chars(timeRow_.label, 20);
  }
  if (mode != ProgressMode::Amount) {
    GtkWidget* line = gtk_hbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(column), line, FALSE, FALSE, 0);
    firstRow_ = build_row(line, mode == ProgressMode::Transfer ? gettext("File") : nullptr,
                          "first-row", captions);
  }
  if (mode == ProgressMode::Transfer) {
    GtkWidget* line = gtk_hbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(column), line, FALSE, FALSE, 0);
    secondRow_ = build_row(line, gettext("Write to"), "second-row", captions);
  }
  g_object_unref(captions);

  // The window manager's close button must not destroy the box under the operation; GtkDialog
  // reports it as a response all the same.
  g_signal_connect(dialog, "delete_event", G_CALLBACK(gtk_true), nullptr);
  g_signal_connect(dialog, "response", G_CALLBACK(on_response), this);
  timer_.reset(g_timeout_add(refresh_ms, on_timer, this));
  gtk_window_set_default_size(GTK_WINDOW(dialog), width, -1);
  if (parent == nullptr)
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_widget_show_all(dialog);
}

ProgressBox::~ProgressBox() { timer_.reset(); }

ProgressBox::Row ProgressBox::build_row(GtkWidget* box, const char* caption, const char* id,
                                        GtkSizeGroup* captions) {
  if (caption != nullptr) {
    GtkWidget* label = gtk_label_new(caption);
    gtk_misc_set_alignment(GTK_MISC(label), 1.0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    if (captions != nullptr)
      gtk_size_group_add_widget(captions, label);
  }
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
  gtk_box_pack_start(GTK_BOX(box), frame, TRUE, TRUE, 0);
  GtkWidget* value = gtk_label_new(nullptr);
  gtk_misc_set_alignment(GTK_MISC(value), 0.0, 0.5);
  gtk_label_set_ellipsize(GTK_LABEL(value), PANGO_ELLIPSIZE_MIDDLE);
  set_accessible_id(value, id);
  gtk_container_add(GTK_CONTAINER(frame), value);
  Row row;
  row.label = GTK_LABEL(value);
  return row;
}

void ProgressBox::check() {
  while (gtk_events_pending())
    gtk_main_iteration();
  if (response_ != -1)
    throw InterruptedException();
}

void ProgressBox::set_text(std::int64_t which, const std::string& text) {
  if (which == title_text) {
    gtk_window_set_title(GTK_WINDOW(dialog_.get()), valid_utf8(text).c_str());
  } else if (which == second_text) {
    secondRow_.set(text);
  } else if (which == first_text) {
    if (mode_ == ProgressMode::Amount) {
      gtk_progress_bar_set_text(bar_, valid_utf8(text).c_str());
      hold_ = hold_refreshes;
    } else {
      firstRow_.set(text);
    }
  }
}

void ProgressBox::set_progress(std::int64_t how, std::uint64_t amount) {
  if (how == progress_to)
    done_ = amount;
  else if (how == progress_by)
    done_ += amount;
}

void ProgressBox::refresh() {
  if (mode_ == ProgressMode::Pulse) {
    gtk_progress_bar_pulse(bar_);
  } else {
    const std::uint64_t processed = done_ > start_ ? done_ - start_ : 0;
    double fraction = 0;
    if (total_ != 0)
      fraction = std::min(1.0, static_cast<double>(processed) / static_cast<double>(total_));
    gtk_progress_bar_set_fraction(bar_, fraction);
    if (hold_ > 0)
      --hold_;
    else
      gtk_progress_bar_set_text(bar_,
                                (std::to_string(whole_percent(processed, total_)) + "%").c_str());
    if (timeRow_.label != nullptr && fraction != 0) {
      const std::time_t now = std::time(nullptr);
      if (now != lastTime_) {
        const double remaining = static_cast<double>(now - startTime_) * (1 - fraction) / fraction;
        const double most = std::numeric_limits<std::uint32_t>::max();
        gtk_label_set_text(
            timeRow_.label,
            format_duration(static_cast<std::uint32_t>(std::clamp(remaining, 0.0, most))).c_str());
        lastTime_ = now;
      }
    }
    if (progressRow_.label != nullptr)
      gtk_label_set_text(progressRow_.label, format_size_of(processed, total_).c_str());
  }
  firstRow_.show_pending();
  secondRow_.show_pending();
}

gboolean ProgressBox::on_timer(gpointer self) {
  guarded("ProgressBox.cpp(160)", "ProgressBox.cpp(162)",
          [&] { static_cast<ProgressBox*>(self)->refresh(); });
  return TRUE;
}

void ProgressBox::on_response(GtkDialog*, gint response, gpointer self) {
  static_cast<ProgressBox*>(self)->response_ = response;
}

} // namespace gtk
