// An owner for a handle of the platform layer, for tests: closed when it goes.
#pragma once

#include "Win32.h"

#include <string>
#include <utility>

class Win32Handle {
public:
  explicit Win32Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle(handle) {}
  ~Win32Handle() { reset(); }
  Win32Handle(Win32Handle&& other) noexcept
      : handle(std::exchange(other.handle, INVALID_HANDLE_VALUE)) {}
  Win32Handle& operator=(Win32Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle = std::exchange(other.handle, INVALID_HANDLE_VALUE);
    }
    return *this;
  }

  HANDLE get() const { return handle; }
  bool valid() const { return handle != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid())
      CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }

  // CreateFileA on a device path with the usual sharing; invalid (with the last error) on
  // failure.
  static Win32Handle open(const std::string& path, DWORD access = GENERIC_READ,
                          DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return Win32Handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, flags, nullptr));
  }

private:
  HANDLE handle;
};

// DeviceIoControl of a control code without input into `record`.
template <class Record> bool query_record(HANDLE device, DWORD code, Record& record) {
  DWORD returned = 0;
  return DeviceIoControl(device, code, nullptr, 0, &record, sizeof record, &returned, nullptr) !=
         FALSE;
}

// DeviceIoControl of a control code without input or output.
inline bool send_control(HANDLE device, DWORD code) {
  DWORD returned = 0;
  return DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}
