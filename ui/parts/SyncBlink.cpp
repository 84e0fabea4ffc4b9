#include "parts/SyncBlink.h"

#include "Guarded.h"

#include <algorithm>

SyncBlink& SyncBlink::instance() {
  static SyncBlink blink(200);
  return blink;
}

SyncBlink::SyncBlink(int period) : period(period) {}

SyncBlink::~SyncBlink() {
  // Clients that outlive the instance must not reach back into it.
  for (Client* client : clients)
    client->owner_ = nullptr;
}

void SyncBlink::add(Client* client) {
  clients.push_back(client);
  if (!timer)
    timer.reset(g_timeout_add(static_cast<guint>(period), on_tick, this));
}

void SyncBlink::remove(Client* client) {
  clients.erase(std::remove(clients.begin(), clients.end(), client), clients.end());
  if (clients.empty())
    timer.reset();
}

bool SyncBlink::blinks(GtkWidget* widget) const {
  return std::any_of(clients.begin(), clients.end(),
                     [widget](const Client* client) { return client->widget_ == widget; });
}

gboolean SyncBlink::on_tick(gpointer self) {
  auto& blink = *static_cast<SyncBlink*>(self);
  guarded("SyncBlink.cpp(108)", "SyncBlink.cpp(110)", [&] { blink.tick(); });
  return TRUE;
}

void SyncBlink::tick() {
  const bool visible = phase_;
  for (Client* client : clients) {
    if (client->widget_ != nullptr)
      gtk_widget_set_visible(client->widget_, visible);
  }
  phase_ = !visible;
}

void SyncBlink::Client::attach(SyncBlink& owner, GtkWidget* widget) {
  detach();
  owner.add(this);
  owner_ = &owner;
  widget_ = widget;
}

void SyncBlink::Client::detach() {
  if (owner_ != nullptr) {
    owner_->remove(this);
    owner_ = nullptr;
  }
  widget_ = nullptr;
}
