#include "UsesInterfaceCallback.h"

void UsesInterfaceCallback::check() {
  if (callback_ != nullptr)
    callback_->check();
}

void UsesInterfaceCallback::set_text(std::int64_t which, const std::string& text) {
  if (callback_ != nullptr)
    callback_->set_text(which, text);
}

void UsesInterfaceCallback::set_progress(std::int64_t how, std::uint64_t amount) {
  if (callback_ != nullptr)
    callback_->set_progress(how, amount);
}
