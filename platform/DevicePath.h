// The path forms of devices and volumes, as both machines take them.
#pragma once

#include "Win32.h"

#include <string>

namespace platform {

struct DevicePath {
  enum Kind { Other, Drive, Letter, Volume };
  Kind kind = Other;
  DWORD number = 0; // Drive: N of "PhysicalDriveN"
  char letter = 0;  // Letter: the upper-case drive letter
  std::string guid; // Volume: the GUID between the braces, in lower case
};

// Reads a path as CreateFileA takes it: "\\.\PhysicalDriveN", "\\.\X:" or
// "\\?\Volume{GUID}" (either prefix, any letter case, no trailing backslash). Anything else is
// of kind Other.
DevicePath parse_device_path(const std::string& path);

// Reads a root path or mount point: the forms above with one trailing backslash, or "X:\".
// Anything else is of kind Other.
DevicePath parse_root_path(const std::string& path);

// True for the 36-character 8-4-4-4-12 form of hexadecimal digits.
bool is_guid(const std::string& text);

// "\\?\Volume{" + guid + "}", the volume path without the trailing backslash.
std::string volume_path(const std::string& guid);

} // namespace platform

namespace platform {

// The error for a path that names no device: ERROR_FILE_NOT_FOUND for a name in the device
// namespaces ("\\.\", "\\?\"), ERROR_NOT_SUPPORTED for anything else (the layer opens devices,
// not files).
DWORD unknown_path_error(const std::string& path);

} // namespace platform
