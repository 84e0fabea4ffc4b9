// One timer that makes every blinking LED of the program blink in the same rhythm: all of them
// are shown and hidden at the same moments. The timer runs only while some LED blinks.
#pragma once

#include "GLibOwners.h"

#include <gtk/gtk.h>

#include <vector>

class SyncBlink {
public:
  // One blinking widget. Detached, it is left as the last tick left it.
  class Client {
  public:
    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    virtual ~Client() { detach(); }

    // Makes `widget` blink with `owner`, leaving whatever it blinked before.
    void attach(SyncBlink& owner, GtkWidget* widget);
    void detach();
    GtkWidget* widget() const { return widget_; }

  private:
    friend class SyncBlink;
    SyncBlink* owner_ = nullptr;
    GtkWidget* widget_ = nullptr;
  };

  // The program's instance, blinking every 200 ms.
  static SyncBlink& instance();

  explicit SyncBlink(int period);
  SyncBlink(const SyncBlink&) = delete;
  SyncBlink& operator=(const SyncBlink&) = delete;
  ~SyncBlink();

  // Starts the timer when it is the first client.
  void add(Client* client);
  // Stops the timer when no client is left.
  void remove(Client* client);

  bool running() const { return static_cast<bool>(timer); }
  // The visibility that the next tick gives; it keeps its value while the timer stops.
  bool phase() const { return phase_; }
  // Whether `widget` blinks with this instance.
  bool blinks(GtkWidget* widget) const;

private:
  static gboolean on_tick(gpointer self);
  void tick();

  bool phase_ = false;
  int period;
  Source timer;
  std::vector<Client*> clients;
};
