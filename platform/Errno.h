// The one translation of errno values into Win32 error codes, for the layer's own files.
#pragma once

#include "Win32.h"

namespace platform {

DWORD win32_error_from_errno(int error);
void set_last_error_from_errno(int error);

} // namespace platform
