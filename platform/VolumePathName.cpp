// GetVolumePathNameA: the drive letter root of the volume that holds a path.
//
// Implements just enough of it for this project: paths that start with a drive letter, and on
// Linux the paths of this system's own file systems, whose volumes carry the drive letters the
// layer gives mounted file systems. Network and device paths are not implemented.
#include "LinuxBlock.h"
#include "LinuxMachine.h"
#include "Machine.h"

#include <cstring>

namespace platform {

bool LinuxMachine::volume_path_name(const std::string& path, std::string& root) {
  namespace lb = linux_block;
  const std::string lettered = lb::letter_path(path, lb::volumes(lb::disks(), false));
  if (lettered.size() < 2) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  root = lettered.substr(0, 2) + "\\";
  return true;
}

} // namespace platform

BOOL GetVolumePathNameA(LPCSTR fileName, LPSTR volumePathName, DWORD bufferLength) {
  if (fileName == nullptr || volumePathName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = fileName;
  std::string root;
  const char first = path.empty() ? '\0' : path[0];
  if (path.size() >= 2 && path[1] == ':' &&
      ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z'))) {
    root = path.substr(0, 2) + "\\";
  } else if (path.rfind("\\\\", 0) == 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  } else if (path.empty() || !platform::current_machine()->volume_path_name(path, root)) {
    if (path.empty())
      SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (root.size() + 1 > bufferLength) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  std::memcpy(volumePathName, root.c_str(), root.size() + 1);
  return TRUE;
}
