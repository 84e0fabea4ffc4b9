// How the operator presses a button, by the keyboard (its focus keys or its mnemonic) and by the
// mouse: whether each press is a deliberate one of its own, or part of a hurry that must not
// count twice.
//
// A key held down repeats (the X server sends presses without releases); here the repeats are
// swallowed, so that the button is pressed once however long a key is held. A press is hurried
// when it begins while a key that pressed the button, or the mouse button, still holds it down,
// or within the desktop's double-click time after the last release on it (a double-click, or a
// quick run of presses, counts once). Times come from the X server's clock where the events
// carry it, so that a busy program that sees events late still sees the operator's rhythm.
//
// The keys are followed by one watch of the whole program's keyboard, which every key event
// passes before any window gets it (gtk_main_do_event): releases count wherever the focus is.
#pragma once

#include <gtk/gtk.h>

#include <vector>

class ButtonPresses {
public:
  // Watches `button` until the button or this object goes.
  explicit ButtonPresses(GtkButton* button);
  ButtonPresses(const ButtonPresses&) = delete;
  ButtonPresses& operator=(const ButtonPresses&) = delete;
  ~ButtonPresses();

  enum class Press {
    None,       // no press began after the moment asked about
    Deliberate, // the last press began after it, and is one of its own
    Hurried,    // the last press began after it, but in a hurry (see above)
  };
  // The last press that began after `since` (g_get_monotonic_time's clock, as this object saw
  // its events).
  Press last_since(gint64 since) const;

private:
  static gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean on_mnemonic(GtkWidget*, gboolean, gpointer self);
  static gboolean on_button_press(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean on_button_release(GtkWidget*, GdkEventButton* event, gpointer self);

  // A press seen now, made at the server's `time` (GDK_CURRENT_TIME: none) by the key
  // `keycode` (0: the mouse).
  void pressed(guint32 time, guint16 keycode);
  // Returns true when the key event is a held key's repeat: it must not press the button.
  bool key_pressed(const GdkEventKey& event);
  int double_click_ms() const;

  GtkWidget* button;         // null once the button is gone
  std::vector<guint16> keys; // the keys that pressed the button, by hardware keycode
  bool mouseDown = false;
  gint64 mouseReleasedAt = 0; // 0: never
  guint32 mouseReleaseTime = GDK_CURRENT_TIME;
  gint64 pressedAt = 0; // 0: never
  bool hurried = false;
};
