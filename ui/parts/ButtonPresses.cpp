#include "parts/ButtonPresses.h"

#include "Guarded.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <map>

namespace {

// The keys with which a focused button is pressed.
bool activates(guint keyval) {
  switch (keyval) {
  case GDK_space:
  case GDK_KP_Space:
  case GDK_Return:
  case GDK_ISO_Enter:
  case GDK_KP_Enter: return true;
  default: return false;
  }
}

// Every key of the program going down and up: which are down, when each last went up, and
// whether the key event being handled now is a held key's repeat.
class Keyboard {
public:
  struct Key {
    bool down = false;
    gint64 releasedAt = 0; // 0: never
    guint32 releaseTime = GDK_CURRENT_TIME;
  };

  static Keyboard& instance() {
    static Keyboard keyboard;
    return keyboard;
  }

  const Key& key(guint16 keycode) { return keys[keycode]; }
  bool repeating() const { return repeat; }

private:
  Keyboard() { gtk_key_snooper_install(on_key, this); }

  static gint on_key(GtkWidget*, GdkEventKey* event, gpointer self) {
    guarded("ButtonPresses.cpp(49)", "ButtonPresses.cpp(50)", [&] {
      auto& keyboard = *static_cast<Keyboard*>(self);
      Key& key = keyboard.keys[event->hardware_keycode];
      if (event->type == GDK_KEY_PRESS) {
        keyboard.repeat = key.down;
        key.down = true;
      } else if (event->type == GDK_KEY_RELEASE) {
        keyboard.repeat = false;
        key.down = false;
        key.releasedAt = g_get_monotonic_time();
        key.releaseTime = event->time;
      }
    });
    return FALSE; // the event goes on as it would
  }

  std::map<guint16, Key> keys;
  bool repeat = false;
};

} // namespace

ButtonPresses::ButtonPresses(GtkButton* button) : button(GTK_WIDGET(button)) {
  Keyboard::instance();
  g_object_add_weak_pointer(G_OBJECT(button), reinterpret_cast<gpointer*>(&this->button));
  g_signal_connect(button, "key-press-event", G_CALLBACK(on_key_press), this);
  g_signal_connect(button, "mnemonic-activate", G_CALLBACK(on_mnemonic), this);
  g_signal_connect(button, "button-press-event", G_CALLBACK(on_button_press), this);
  g_signal_connect(button, "button-release-event", G_CALLBACK(on_button_release), this);
}

ButtonPresses::~ButtonPresses() {
  if (button == nullptr)
    return;
  g_signal_handlers_disconnect_by_data(button, this);
  g_object_remove_weak_pointer(G_OBJECT(button), reinterpret_cast<gpointer*>(&button));
}

ButtonPresses::Press ButtonPresses::last_since(gint64 since) const {
  if (pressedAt == 0 || pressedAt <= since)
    return Press::None;
  return hurried ? Press::Hurried : Press::Deliberate;
}

int ButtonPresses::double_click_ms() const {
  gint ms = 0;
  g_object_get(gtk_widget_get_settings(button), "gtk-double-click-time", &ms, nullptr);
  return ms;
}

void ButtonPresses::pressed(guint32 time, guint16 keycode) {
  Keyboard& keyboard = Keyboard::instance();
  // The last release on the button, and whether anything else holds it down still.
  gint64 releasedAt = mouseReleasedAt;
  guint32 releaseTime = mouseReleaseTime;
  bool held = mouseDown;
  for (guint16 other : keys) {
    const Keyboard::Key& key = keyboard.key(other);
    if (other != keycode && key.down)
      held = true;
    if (key.releasedAt > releasedAt) {
      releasedAt = key.releasedAt;
      releaseTime = key.releaseTime;
    }
  }
  const gint64 now = g_get_monotonic_time();
  bool soon = false;
  if (releasedAt != 0) {
    const int limit = double_click_ms();
    if (time != GDK_CURRENT_TIME && releaseTime != GDK_CURRENT_TIME)
      soon = static_cast<guint32>(time - releaseTime) < static_cast<guint32>(limit);
    else
      soon = now - releasedAt < gint64{limit} * 1000;
  }
  hurried = soon || held;
  pressedAt = now;
  if (keycode != 0 && std::find(keys.begin(), keys.end(), keycode) == keys.end())
    keys.push_back(keycode);
}

bool ButtonPresses::key_pressed(const GdkEventKey& event) {
  if (Keyboard::instance().repeating())
    return true;
  pressed(event.time, event.hardware_keycode);
  return false;
}

gboolean ButtonPresses::on_key_press(GtkWidget*, GdkEventKey* event, gpointer self) {
  bool repeat = false;
  guarded("ButtonPresses.cpp(143)", "ButtonPresses.cpp(144)", [&] {
    if (activates(event->keyval))
      repeat = static_cast<ButtonPresses*>(self)->key_pressed(*event);
  });
  // A held key's repeat presses nothing.
  return repeat ? TRUE : FALSE;
}

// The button's mnemonic was typed (with Alt, or alone where the window allows it).
gboolean ButtonPresses::on_mnemonic(GtkWidget*, gboolean, gpointer self) {
  bool repeat = false;
  guarded("ButtonPresses.cpp(155)", "ButtonPresses.cpp(156)", [&] {
    GdkEvent* event = gtk_get_current_event();
    if (event == nullptr)
      return;
    if (event->type == GDK_KEY_PRESS)
      repeat = static_cast<ButtonPresses*>(self)->key_pressed(event->key);
    gdk_event_free(event);
  });
  return repeat ? TRUE : FALSE;
}

gboolean ButtonPresses::on_button_press(GtkWidget*, GdkEventButton* event, gpointer self) {
  guarded("ButtonPresses.cpp(168)", "ButtonPresses.cpp(169)", [&] {
    auto& presses = *static_cast<ButtonPresses*>(self);
    // A double-click also brings a GDK_2BUTTON_PRESS after its second press: no press of its
    // own.
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS) {
      presses.pressed(event->time, 0);
      presses.mouseDown = true;
    }
  });
  return FALSE;
}

gboolean ButtonPresses::on_button_release(GtkWidget*, GdkEventButton* event, gpointer self) {
  guarded("ButtonPresses.cpp(181)", "ButtonPresses.cpp(182)", [&] {
    auto& presses = *static_cast<ButtonPresses*>(self);
    if (event->button == 1 && presses.mouseDown) {
      presses.mouseDown = false;
      presses.mouseReleasedAt = g_get_monotonic_time();
      presses.mouseReleaseTime = event->time;
    }
  });
  return FALSE;
}
