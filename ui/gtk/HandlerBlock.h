// Holds a signal handler off for the life of an object: the handlers of `instance` that call
// `handler` with `data` do not run while the program itself changes the widget, so a change
// made in code does not come back as if the operator had made it.
#pragma once

#include <glib-object.h>

namespace gtk {

class HandlerBlock {
public:
  HandlerBlock(gpointer instance, GCallback handler, gpointer data)
      : instance(instance), handler(handler), data(data) {
    g_signal_handlers_block_matched(instance, match, 0, 0, nullptr,
                                    reinterpret_cast<gpointer>(handler), data);
  }
  ~HandlerBlock() {
    g_signal_handlers_unblock_matched(instance, match, 0, 0, nullptr,
                                      reinterpret_cast<gpointer>(handler), data);
  }
  HandlerBlock(const HandlerBlock&) = delete;
  HandlerBlock& operator=(const HandlerBlock&) = delete;

private:
  static constexpr GSignalMatchType match =
      static_cast<GSignalMatchType>(G_SIGNAL_MATCH_FUNC | G_SIGNAL_MATCH_DATA);

  gpointer instance;
  GCallback handler;
  gpointer data;
};

} // namespace gtk
