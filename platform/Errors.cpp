// Last-error state and message texts of the layer. The texts are this project's own wording.
#include "Errno.h"
#include "Win32.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

const char* message_of(DWORD code) {
  switch (code) {
  case ERROR_SUCCESS: return "The operation completed successfully.";
  case ERROR_INVALID_FUNCTION: return "The function is not supported by this device.";
  case ERROR_FILE_NOT_FOUND: return "The file was not found.";
  case ERROR_PATH_NOT_FOUND: return "The path was not found.";
  case ERROR_TOO_MANY_OPEN_FILES: return "Too many files are open.";
  case ERROR_ACCESS_DENIED: return "Access is denied.";
  case ERROR_INVALID_HANDLE: return "The handle is not valid.";
  case ERROR_NOT_ENOUGH_MEMORY: return "There is not enough memory for this operation.";
  case ERROR_INVALID_DATA: return "The data is not valid.";
  case ERROR_OUTOFMEMORY: return "Out of memory.";
  case ERROR_NOT_READY: return "The device is not ready.";
  case ERROR_CRC: return "The data on the device could not be read back correctly.";
  case ERROR_SEEK: return "The device cannot position to the requested place.";
  case ERROR_WRITE_FAULT: return "The device cannot be written.";
  case ERROR_READ_FAULT: return "The device cannot be read.";
  case ERROR_GEN_FAILURE: return "A device attached to the system is not working.";
  case ERROR_SHARING_VIOLATION: return "The device or file is in use by another process.";
  case ERROR_LOCK_VIOLATION: return "Another process has locked a part of the device or file.";
  case ERROR_HANDLE_EOF: return "The end of the file was reached.";
  case ERROR_NOT_SUPPORTED: return "The request is not supported.";
  case ERROR_INVALID_PARAMETER: return "A parameter is not valid.";
  case ERROR_DISK_FULL: return "There is not enough space on the disk.";
  case ERROR_CALL_NOT_IMPLEMENTED: return "This function is not available on this system.";
  case ERROR_INSUFFICIENT_BUFFER: return "The buffer passed is too small.";
  case ERROR_INVALID_NAME: return "The name is not valid.";
  case ERROR_NEGATIVE_SEEK: return "The position lies before the start of the device.";
  case ERROR_BUSY: return "The device or volume is busy.";
  case ERROR_ALREADY_EXISTS: return "The object already exists.";
  case ERROR_MORE_DATA: return "More data is available.";
  case ERROR_NO_MORE_ITEMS: return "There are no more items.";
  case ERROR_IO_DEVICE: return "The request failed because of a device error.";
  case ERROR_NO_ASSOCIATION: return "No program is associated with this file.";
  default: {
    const char* device = device_error_message(code);
    return device != nullptr ? device : platform::socket_error_message(code);
  }
  }
}

} // namespace

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD,
                     va_list_ptr) {
  constexpr DWORD required = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
  if ((flags & required) != required || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = message_of(messageId);
  if (text == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // System messages end with a carriage return and a line feed; callers strip them.
  const std::size_t length = std::strlen(text) + 2;
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  std::memcpy(copy, text, length - 2);
  std::memcpy(copy + length - 2, "\r\n", 3);
  *reinterpret_cast<char**>(buffer) = copy;
  return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

namespace platform {

DWORD win32_error_from_errno(int error) {
  switch (error) {
  case 0: return ERROR_SUCCESS;
  case ENOENT: return ERROR_FILE_NOT_FOUND;
  case ENOTDIR: return ERROR_PATH_NOT_FOUND;
  case EMFILE:
  case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
  case EACCES:
  case EPERM:
  case EROFS: return ERROR_ACCESS_DENIED;
  case EBADF:
  case ESRCH: return ERROR_INVALID_HANDLE;
  case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
  case EINVAL: return ERROR_INVALID_PARAMETER;
  case ENOSPC: return ERROR_DISK_FULL;
  case EBUSY: return ERROR_BUSY;
  case EEXIST: return ERROR_ALREADY_EXISTS;
  case EIO: return ERROR_IO_DEVICE;
  case ENOTTY:
  case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
  case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
  case ENAMETOOLONG: return ERROR_INVALID_NAME;
  case ENXIO:
  case ENODEV:
  case ENOMEDIUM: return ERROR_NOT_READY;
  case ESPIPE: return ERROR_SEEK;
  default: return ERROR_GEN_FAILURE;
  }
}

void set_last_error_from_errno(int error) { SetLastError(win32_error_from_errno(error)); }

} // namespace platform
