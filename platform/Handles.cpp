// The handle table and CloseHandle.
#include "Handles.h"

#include <map>
#include <mutex>

namespace platform {

namespace {

std::mutex table_mutex;
std::map<std::uintptr_t, std::shared_ptr<HandleObject>>& table() {
  static std::map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
  return objects;
}
// Multiples of four from 0x1000 on, as Windows gives them; never 0 and never
// INVALID_HANDLE_VALUE.
std::uintptr_t next_value = 0x1000;

} // namespace

HANDLE register_handle(std::shared_ptr<HandleObject> object) {
  std::lock_guard<std::mutex> lock(table_mutex);
  const std::uintptr_t value = next_value;
  next_value += 4;
  table()[value] = std::move(object);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> find_handle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto found = table().find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second;
}

std::shared_ptr<HandleObject> remove_handle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto found = table().find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::shared_ptr<HandleObject> object = std::move(found->second);
  table().erase(found);
  return object;
}

} // namespace platform

BOOL CloseHandle(HANDLE object) {
  std::shared_ptr<platform::HandleObject> closing = platform::remove_handle(object);
  if (closing == nullptr)
    return FALSE;
  return closing->close() ? TRUE : FALSE;
}
