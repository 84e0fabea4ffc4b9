// The one way into C++ from a C callback of GLib or GTK: an exception must never cross back into
// C, so every signal handler, timer and watch runs its work through `guarded`, which catches
// everything and writes one debug-log line.
#pragma once

// Writes the debug-log line for the exception being handled: `where` + ": " + its text for a
// std::exception, `other` alone for anything else. Call it only inside a catch block.
void log_current_exception(const char* where, const char* other) noexcept;

// Runs `work`. Returns true when it finished; false when it threw, after logging the exception
// as log_current_exception does. The caller's object keeps whatever state `work` left.
template <typename Work> bool guarded(const char* where, const char* other, Work&& work) noexcept {
  try {
    work();
    return true;
  } catch (...) {
    log_current_exception(where, other);
    return false;
  }
}
