// The owner of one open device handle: closed when the owner goes, also when an exception
// passes.
#pragma once

#include "Win32.h"

class DeviceHandle {
public:
  explicit DeviceHandle(HANDLE handle) : handle_(handle) {}
  ~DeviceHandle() {
    if (valid())
      CloseHandle(handle_);
  }
  DeviceHandle(const DeviceHandle&) = delete;
  DeviceHandle& operator=(const DeviceHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
  HANDLE handle_;
};
