// The one translation of errno values into Win32 and Windows Sockets error codes, for the
// layer's own files.
#pragma once

#include "Win32.h"

namespace platform {

DWORD win32_error_from_errno(int error);
void set_last_error_from_errno(int error);

// The same for the socket calls, into Windows Sockets error codes (SocketErrors.cpp), and the
// texts of those codes.
int wsa_error_from_errno(int error);
const char* socket_error_message(DWORD code); // null when `code` is none of them

} // namespace platform
