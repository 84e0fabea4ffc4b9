// Base of the objects that report progress: it holds the callback that is told (none at first,
// not owned) and passes each report on to it, or drops it when none is set.
#pragma once

#include "InterfaceCallback.h"

class UsesInterfaceCallback {
public:
  virtual ~UsesInterfaceCallback() = default;

  virtual void set_callback(InterfaceCallback* callback) { callback_ = callback; }
  virtual InterfaceCallback* callback() const { return callback_; }
  virtual bool has_callback() const { return callback_ != nullptr; }

  // Throws InterruptedException when the callback says the operation is to stop.
  virtual void check();
  virtual void set_text(std::int64_t which, const std::string& text);
  virtual void set_progress(std::int64_t how, std::uint64_t amount);

private:
  InterfaceCallback* callback_ = nullptr;
};
