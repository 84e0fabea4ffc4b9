// The handle table: every HANDLE that the layer gives out names one object of this table.
//
// Handle values are never reused within a process, so a handle that was closed is refused
// (ERROR_INVALID_HANDLE) instead of reaching another object. Any kind of object can live here;
// CloseHandle closes each kind through HandleObject::close.
#pragma once

#include "Win32.h"

#include <memory>

namespace platform {

class HandleObject {
public:
  virtual ~HandleObject() = default;
  // Releases what the object holds. Returns false with the last error set when that fails;
  // the handle is gone either way.
  virtual bool close() { return true; }
};

// Enters `object` in the table and returns its new handle.
HANDLE register_handle(std::shared_ptr<HandleObject> object);

// The object of `handle`, or null (with ERROR_INVALID_HANDLE set) when the handle is not open
// or names an object of another kind.
std::shared_ptr<HandleObject> find_handle(HANDLE handle);
template <class T> std::shared_ptr<T> find_handle_as(HANDLE handle) {
  std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(find_handle(handle));
  if (object == nullptr)
    SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Takes `handle` out of the table and returns its object, or null (ERROR_INVALID_HANDLE).
std::shared_ptr<HandleObject> remove_handle(HANDLE handle);

} // namespace platform
