#include "DialogResponder.h"

#include "FindWidget.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A file chooser checks a chosen file in the background and answers for itself when the check
// ends; only one whose check was dropped is still waiting this long.
constexpr gint64 retry_after_us = 3 * G_USEC_PER_SEC;
const char* const seen_key = "cvw-responder-seen";

bool is_candidate(GtkWindow* window) {
  if (!gtk_widget_get_mapped(GTK_WIDGET(window)))
    return false;
  GtkWindowType type;
  g_object_get(window, "type", &type, nullptr);
  return type == GTK_WINDOW_TOPLEVEL && (GTK_IS_DIALOG(window) || gtk_window_get_modal(window));
}

// The open dialog that no other open dialog is transient for; the newest of several. Dialogs
// whose accessible id is in `ignored` do not count.
GtkWindow* innermost_dialog(const std::vector<std::string>& ignored) {
  GList* windows = gtk_window_list_toplevels();
  std::vector<GtkWindow*> open;
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (is_candidate(window) && std::find(ignored.begin(), ignored.end(),
                                          accessible_id_of(GTK_WIDGET(window))) == ignored.end())
      open.push_back(window);
  }
  g_list_free(windows);
  GtkWindow* found = nullptr;
  for (GtkWindow* window : open) {
    const bool parent = std::any_of(open.begin(), open.end(), [window](GtkWindow* other) {
      return gtk_window_get_transient_for(other) == window;
    });
    if (!parent)
      found = window;
  }
  return found;
}

std::string labels_outside_buttons(GtkWidget* root) {
  std::string text;
  for (GtkWidget* widget : all_widgets(root)) {
    if (!GTK_IS_LABEL(widget) || gtk_widget_get_ancestor(widget, GTK_TYPE_BUTTON) != nullptr)
      continue;
    const char* label = gtk_label_get_text(GTK_LABEL(widget));
    if (label == nullptr || *label == '\0')
      continue;
    if (!text.empty())
      text += "\n";
    text += label;
  }
  return text;
}

std::string without_mnemonics(const char* label) {
  std::string plain;
  for (const char* c = label; *c != '\0'; ++c) {
    if (*c != '_')
      plain += *c;
  }
  return plain;
}

GtkWidget* find_button(GtkWidget* root, const std::string& name) {
  for (GtkWidget* widget : all_widgets(root)) {
    if (!GTK_IS_BUTTON(widget) || !gtk_widget_get_visible(widget))
      continue;
    const char* label = gtk_button_get_label(GTK_BUTTON(widget));
    if (accessible_id_of(widget) == name ||
        (label != nullptr && (name == label || name == without_mnemonics(label))))
      return widget;
  }
  return nullptr;
}

void send_key(GtkWindow* dialog, GdkEventType type, guint keyval) {
  GdkEvent* event = gdk_event_new(type);
  event->key.window = GDK_WINDOW(g_object_ref(GTK_WIDGET(dialog)->window));
  event->key.send_event = TRUE;
  event->key.time = GDK_CURRENT_TIME;
  event->key.keyval = keyval;
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(nullptr, keyval, &keys, &count) && count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    event->key.group = static_cast<guint8>(keys[0].group);
  }
  g_free(keys);
  gtk_main_do_event(event);
  gdk_event_free(event);
}

void send_delete(GtkWindow* dialog) {
  GdkEvent* event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(GTK_WIDGET(dialog)->window));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
}

std::string take(gchar* text) {
  std::string copy = text != nullptr ? text : "";
  g_free(text);
  return copy;
}

// The chooser shows `path`'s folder and has `path` chosen.
bool has_chosen(GtkWindow* dialog, const std::string& path) {
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  return take(gtk_file_chooser_get_current_folder(chooser)) ==
             take(g_path_get_dirname(path.c_str())) &&
         take(gtk_file_chooser_get_filename(chooser)) == path;
}

} // namespace

DialogResponder::DialogResponder(int deadlineMs)
    : deadline(g_get_monotonic_time() + gint64(deadlineMs) * 1000) {
  pollTimer.reset(g_timeout_add(10, on_poll, this));
}

DialogResponder::~DialogResponder() {
  pollTimer.reset();
  idle.reset();
  for (GtkWindow* window : watched) {
    g_signal_handlers_disconnect_by_data(window, this);
    g_object_weak_unref(G_OBJECT(window), on_gone, this);
  }
  if (target != nullptr)
    g_object_remove_weak_pointer(G_OBJECT(target), reinterpret_cast<gpointer*>(&target));
  if (!failed && next < steps.size())
    ADD_FAILURE() << "dialog responder: " << steps.size() - next << " of " << steps.size()
                  << " answers were never given (no dialog came up for them)";
}

DialogResponder& DialogResponder::add(Step step) {
  steps.push_back(std::move(step));
  return *this;
}

DialogResponder& DialogResponder::respond(int response) {
  return add({Step::Respond, response, {}, 0, {}});
}

DialogResponder& DialogResponder::click(const std::string& button) {
  return add({Step::Click, 0, button, 0, {}});
}

DialogResponder& DialogResponder::close() { return add({Step::Close, 0, {}, 0, {}}); }

DialogResponder& DialogResponder::key(guint keyval) { return add({Step::Key, 0, {}, keyval, {}}); }

DialogResponder& DialogResponder::choose_file(const std::string& path, int response) {
  return add({Step::ChooseFile, response, path, 0, {}});
}

DialogResponder& DialogResponder::ignore(const std::string& id) {
  ignored.push_back(id);
  return *this;
}

DialogResponder& DialogResponder::then(std::function<void(GtkWindow*)> action) {
  return add({Step::Then, 0, {}, 0, std::move(action)});
}

gboolean DialogResponder::on_poll(gpointer self) {
  static_cast<DialogResponder*>(self)->poll();
  return TRUE;
}

void DialogResponder::poll() {
  GtkWindow* innermost = innermost_dialog(ignored);
  if (g_get_monotonic_time() > deadline && (next < steps.size() || failed)) {
    give_up(innermost);
    return;
  }
  // A window without the response signal (a modal window, not a GtkDialog) took its answer
  // when it went away.
  if (state == State::Answered && target == nullptr && innermost == nullptr) {
    step_done();
    return;
  }
  if (next == steps.size() || innermost == nullptr || state == State::Scheduled)
    return;
  if (state == State::WaitingForFile) {
    if (innermost != target)
      return;
    if (has_chosen(target, steps[next].text)) {
      state = State::Answered;
      answeredAt = g_get_monotonic_time();
      gtk_dialog_response(GTK_DIALOG(target), steps[next].response);
      return;
    }
    // A chooser still loading its folder on a busy machine may let the file go: choose again.
    if (g_get_monotonic_time() - answeredAt <= retry_after_us)
      return;
    state = State::Idle;
  }
  if (state == State::Answered) {
    if (target != nullptr && innermost == target) {
      // Still up and the answer not taken: a file chooser may have dropped it.
      if (GTK_IS_FILE_CHOOSER(target) && g_get_monotonic_time() - answeredAt > retry_after_us)
        state = State::Idle;
      else
        return;
    } else {
      // Another dialog came up in answer, or the answered one is gone.
      step_done();
    }
  }
  if (target != nullptr)
    g_object_remove_weak_pointer(G_OBJECT(target), reinterpret_cast<gpointer*>(&target));
  target = innermost;
  g_object_add_weak_pointer(G_OBJECT(target), reinterpret_cast<gpointer*>(&target));
  state = State::Scheduled;
  idle.reset(g_idle_add(on_idle, this));
}

gboolean DialogResponder::on_idle(gpointer self) {
  auto& responder = *static_cast<DialogResponder*>(self);
  responder.idle.forget();
  responder.perform();
  return FALSE;
}

void DialogResponder::perform() {
  if (target == nullptr || next == steps.size()) {
    state = State::Idle;
    return;
  }
  GtkWindow* dialog = target;
  watch(dialog);
  // Once per time the dialog comes up, however many steps answer it.
  if (g_object_get_data(G_OBJECT(dialog), seen_key) == nullptr) {
    g_object_set_data(G_OBJECT(dialog), seen_key, GINT_TO_POINTER(1));
    const char* title = gtk_window_get_title(dialog);
    seen_.push_back({title != nullptr ? title : "", accessible_id_of(GTK_WIDGET(dialog)),
                     labels_outside_buttons(GTK_WIDGET(dialog))});
  }
  state = State::Answered;
  answeredAt = g_get_monotonic_time();
  answer(dialog, steps[next]);
}

void DialogResponder::answer(GtkWindow* dialog, const Step& step) {
  switch (step.kind) {
  case Step::Respond:
    if (!GTK_IS_DIALOG(dialog)) {
      ADD_FAILURE() << "dialog responder: \"" << seen_.back().title << "\" is no GtkDialog";
      failed = true;
      return;
    }
    gtk_dialog_response(GTK_DIALOG(dialog), step.response);
    return;
  case Step::Click:
    if (GtkWidget* button = find_button(GTK_WIDGET(dialog), step.text)) {
      gtk_button_clicked(GTK_BUTTON(button));
    } else {
      ADD_FAILURE() << "dialog responder: no button \"" << step.text << "\" in \""
                    << seen_.back().title << "\"";
      failed = true;
      deadline = 0;
    }
    return;
  case Step::Close: send_delete(dialog); return;
  case Step::Key:
    send_key(dialog, GDK_KEY_PRESS, step.keyval);
    send_key(dialog, GDK_KEY_RELEASE, step.keyval);
    return;
  case Step::ChooseFile: {
    if (!GTK_IS_FILE_CHOOSER(dialog)) {
      ADD_FAILURE() << "dialog responder: \"" << seen_.back().title << "\" is no file chooser";
      failed = true;
      deadline = 0;
      return;
    }
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    if (gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SAVE) {
      gchar* folder = g_path_get_dirname(step.text.c_str());
      gchar* name = g_path_get_basename(step.text.c_str());
      gtk_file_chooser_set_current_folder(chooser, folder);
      gtk_file_chooser_set_current_name(chooser, name);
      g_free(folder);
      g_free(name);
    } else {
      gtk_file_chooser_set_filename(chooser, step.text.c_str());
    }
    state = State::WaitingForFile;
    return;
  }
  case Step::Then: {
    // The action may run a main loop of its own; the responder waits meanwhile.
    const std::size_t index = next;
    state = State::Scheduled;
    step.action(dialog);
    if (next == index)
      step_done();
    return;
  }
  }
}

void DialogResponder::watch(GtkWindow* dialog) {
  if (!GTK_IS_DIALOG(dialog) || std::find(watched.begin(), watched.end(), dialog) != watched.end())
    return;
  // Runs after the dialog's own handlers: only an answer that is really taken gets here.
  g_signal_connect_after(dialog, "response", G_CALLBACK(on_response), this);
  watched.push_back(dialog);
  g_object_weak_ref(G_OBJECT(dialog), on_gone, this);
}

void DialogResponder::on_gone(gpointer self, GObject* gone) {
  auto& list = static_cast<DialogResponder*>(self)->watched;
  list.erase(std::remove(list.begin(), list.end(), reinterpret_cast<GtkWindow*>(gone)), list.end());
}

void DialogResponder::on_response(GtkDialog* dialog, gint, gpointer self) {
  auto& responder = *static_cast<DialogResponder*>(self);
  g_object_set_data(G_OBJECT(dialog), seen_key, nullptr);
  if (responder.state == State::Answered && GTK_WINDOW(dialog) == responder.target)
    responder.step_done();
}

void DialogResponder::step_done() {
  state = State::Idle;
  if (next < steps.size())
    ++next;
}

void DialogResponder::give_up(GtkWindow* innermost) {
  if (!failed) {
    failed = true;
    ADD_FAILURE() << "dialog responder: deadline passed with " << steps.size() - next
                  << " answers left; "
                  << (innermost != nullptr ? "a dialog is still open" : "no dialog came up");
  }
  if (innermost != nullptr && GTK_IS_DIALOG(innermost))
    gtk_dialog_response(GTK_DIALOG(innermost), GTK_RESPONSE_DELETE_EVENT);
  else if (innermost != nullptr)
    gtk_widget_destroy(GTK_WIDGET(innermost));
}
