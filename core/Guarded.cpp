#include "Guarded.h"

#include "DebugLog.h"

#include <exception>
#include <ostream>

void log_current_exception(const char* where, const char* other) noexcept {
  // A log that fails while an exception is reported has nowhere better to go.
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      debug_log() << where << ": " << e.what() << "\n";
    } catch (...) {
      debug_log() << other << "\n";
    }
  } catch (...) {
  }
}
