// The Win32-shaped calls that the rest of the system is written against.
//
// This layer implements just enough of the Windows API for this project, on Linux. Everything
// above it includes this header and reads as if it ran on Windows; nothing above it includes a
// POSIX or Linux header. A call that the layer does not implement fails with an error code (see
// GetLastError), never with a pretended success.
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using UINT = unsigned int;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using HLOCAL = void*;
using HWND = void*;
using HINSTANCE = std::intptr_t;
using va_list_ptr = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Error codes, with the values Windows gives them.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_CRC = 23;
constexpr DWORD ERROR_SEEK = 25;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_NO_ASSOCIATION = 1155;

DWORD GetLastError();
void SetLastError(DWORD code);

// FormatMessageA: only FORMAT_MESSAGE_FROM_SYSTEM with FORMAT_MESSAGE_ALLOCATE_BUFFER is
// implemented; the buffer is released with LocalFree. Returns the number of characters
// written, 0 when the code has no message.
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD LANG_USER_DEFAULT = 0x0400;
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list_ptr arguments);
HLOCAL LocalFree(HLOCAL memory);

// Suspends the calling thread for `milliseconds`.
void Sleep(DWORD milliseconds);

// ShellExecuteA with the verb "open": starts an executable file with `parameters` as its
// arguments, or hands any other file or address to the desktop's opener; detached either way.
// Results of 32 or less are failures, as on Windows.
constexpr int SW_SHOWNORMAL = 1;
constexpr HINSTANCE SE_ERR_FNF = 2;
constexpr HINSTANCE SE_ERR_ACCESSDENIED = 5;
constexpr HINSTANCE SE_ERR_NOASSOC = 31;
HINSTANCE ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        int show);

// IsUserAnAdmin: whether the program may open the machine's drives for reading and writing, as
// an administrator may on Windows: here, when it runs as root on the real machine, and always on
// a simulated machine, whose drives are image files.
BOOL IsUserAnAdmin();

// ---- Device and volume calls ----
#include "Win32Device.h"
