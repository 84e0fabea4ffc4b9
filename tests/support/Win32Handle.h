// An owner for a handle of the platform layer, for tests: closed when it goes.
#pragma once

#include "Win32.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

class Win32Handle {
public:
  explicit Win32Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Win32Handle() { reset(); }
  Win32Handle(Win32Handle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  Win32Handle& operator=(Win32Handle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void reset() {
    if (valid())
      CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  // CreateFileA on a device path with the usual sharing; invalid (with the last error) on
  // failure.
  static Win32Handle open(const std::string& path, DWORD access = GENERIC_READ,
                          DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return Win32Handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, flags, nullptr));
  }

private:
  HANDLE handle_;
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

// The standard storage-descriptor query of `device` into `buffer`, which is first filled with
// 0xA5 up to `capacity` bytes so that anything written past the descriptor shows. Returns false
// with the last error set when the query fails.
inline bool query_descriptor(HANDLE device, std::vector<BYTE>& buffer, DWORD& returned,
                             DWORD capacity = 1024) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  buffer.assign(capacity, 0xA5);
  returned = 0;
  return DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                         capacity, &returned, nullptr) != FALSE;
}
